#!/usr/bin/python3
# ozm_mapnik_render.py --
#
#     The Mapnik side of ozm_mapnik_bench. With --scale it prints the
#     scale denominator Mapnik's renderer uses for a 1024 x 768 map of
#     srs longlat over the extents (the bench sets its layers' scale
#     ranges from it). Otherwise it loads one style sheet (its GeoJSON
#     datasources are built here, outside the timed loop), zooms to the
#     extents the ozm viewport used, draws once to warm up, then draws
#     `count` images and prints the median milliseconds per image and the
#     scale denominator. The last image is written as a PNG for the bench's
#     comparison.
#
#         ozm_mapnik_render.py --scale MIN_LON MIN_LAT MAX_LON MAX_LAT
#         ozm_mapnik_render.py STYLE.xml MIN_LON MIN_LAT MAX_LON MAX_LAT COUNT OUT.png

import sys
import time

import mapnik


def zoomed(m, min_lon, min_lat, max_lon, max_lat):
    m.aspect_fix_mode = mapnik.aspect_fix_mode.RESPECT
    m.zoom_to_box(mapnik.Box2d(float(min_lon), float(min_lat), float(max_lon), float(max_lat)))
    return m


def main():
    if sys.argv[1] == "--scale":
        m = mapnik.Map(1024, 768, "+proj=longlat +datum=WGS84 +no_defs")
        zoomed(m, *sys.argv[2:6])
        print("%.6f" % m.scale_denominator())
        return
    style, min_lon, min_lat, max_lon, max_lat, count, out = sys.argv[1:8]
    m = mapnik.Map(1024, 768)
    mapnik.load_map(m, style)
    zoomed(m, min_lon, min_lat, max_lon, max_lat)
    image = mapnik.Image(1024, 768)
    mapnik.render(m, image)
    times = []
    for _ in range(int(count)):
        start = time.perf_counter()
        image = mapnik.Image(1024, 768)
        mapnik.render(m, image)
        times.append(time.perf_counter() - start)
    image.save(out, "png32")
    times.sort()
    print("%.4f %.6f" % (1000.0 * times[len(times) // 2], m.scale_denominator()))


if __name__ == "__main__":
    main()
