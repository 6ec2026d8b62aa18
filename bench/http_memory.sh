#!/usr/bin/env bash
# http_memory.sh -- the web server's memory under script pages.
#
#     bench/http_memory.sh [BUILD_DIR] [REQUESTS]   (default: build 500000;
#                                                  BUILD_DIR relative to the
#                                                  source folder unless absolute)
#
# Serves a generated document root with BUILD_DIR/bin/http_serve and
# loads two script pages with ab at 64 concurrent clients: one with
# code (it echoes a query variable) and one without any. Each page gets
# a fresh server; the script prints its resident size (VmRSS) after the
# first tenth of REQUESTS (50,000 by default) and after all of them, and
# their ratio, which should stay within 1.2 (memory stays flat under
# concurrency). nginx serves the same pages as static files beside it,
# as the reference: its resident size is printed after the same loads.
# Both servers must give the same bytes for the page without code, and
# ours the echoed value for the page with code, before anything is
# measured. Exits non-zero when a tool fails, the answers are wrong or a
# ratio passes 1.2. ab (apache2-utils), nginx and curl are installed with
# apt-get when missing (bench/http_common.sh).
set -euo pipefail
build=${1:-build}
total=${2:-500000}
first=$((total / 10))
root_dir=$(cd "$(dirname "$0")/.." && pwd)
case $build in /*) serve="$build/bin/http_serve" ;; *) serve="$root_dir/$build/bin/http_serve" ;; esac
[ -x "$serve" ] || { echo "http_memory: $serve is not built" >&2; exit 1; }

bench_name=http_memory
. "$root_dir/bench/http_common.sh"
install_missing apache2-utils nginx curl
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

work=$(mktemp -d)
ours_pid=""
nginx_pid=""
cleanup() {
  [ -n "$ours_pid" ] && kill "$ours_pid" 2>/dev/null && wait "$ours_pid" 2>/dev/null || true
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

docs="$work/docs"
mkdir -p "$docs"
chmod 755 "$work" "$docs"
printf '<html><body><p>value: <?puts [i_http_request_get_var_value $http_request q]?></p></body></html>\n' \
  > "$docs/code.html"
printf '<html><body><p>A page without code: only text, which the server still runs as a script.</p></body></html>\n' \
  > "$docs/plain.html"
chmod 644 "$docs"/*

rss_kb() {
  awk '/^VmRSS:/ {print $2}' "/proc/$1/status"
}
# Sends N requests for PATH to PORT with ab at 64 clients; every answer
# must be a 200.
load() {
  local port=$1 path=$2 n=$3 out
  out=$(ab -q -n "$n" -c 64 "http://127.0.0.1:$port$path")
  echo "$out" | grep -q '^Failed requests: *0$' || { echo "http_memory: failed requests on $path" >&2; exit 1; }
  if echo "$out" | grep -q '^Non-2xx'; then echo "http_memory: non-2xx answers on $path" >&2; exit 1; fi
}

nginx_port=$(free_port)
cat > "$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx_error.log;
events { worker_connections 1024; }
http {
  access_log off;
  keepalive_timeout 0;
  types { text/html html; }
  client_body_temp_path $work/nginx_body;
  proxy_temp_path $work/nginx_proxy;
  fastcgi_temp_path $work/nginx_fastcgi;
  uwsgi_temp_path $work/nginx_uwsgi;
  scgi_temp_path $work/nginx_scgi;
  server { listen 127.0.0.1:$nginx_port; root $docs; }
}
CONF
"$nginx_bin" -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
wait_serving "$nginx_port" /plain.html

failed=0
for page in "/code.html?q=flat" "/plain.html"; do
  port=$(free_port)
  "$serve" --root "$docs" --port "$port" --state "$work/ours_state" --access-log off > "$work/ours.log" 2>&1 &
  ours_pid=$!
  wait_serving "$port" /plain.html
  body=$(curl -s "http://127.0.0.1:$port$page")
  case $page in
    /code.html*) [ "$body" = '<html><body><p>value: flat</p></body></html>' ] ||
                   { echo "http_memory: the page with code gave: $body" >&2; exit 1; } ;;
    *) [ "$body" = "$(curl -s "http://127.0.0.1:$nginx_port$page")" ] ||
         { echo "http_memory: the servers disagree on $page" >&2; exit 1; } ;;
  esac
  nginx_path=${page%%\?*}
  load "$port" "$page" "$first"
  load "$nginx_port" "$nginx_path" "$first"
  ours_first=$(rss_kb "$ours_pid")
  nginx_first=$(rss_kb "$nginx_pid")
  load "$port" "$page" $((total - first))
  load "$nginx_port" "$nginx_path" $((total - first))
  ours_last=$(rss_kb "$ours_pid")
  nginx_last=$(rss_kb "$nginx_pid")
  kill "$ours_pid"
  wait "$ours_pid" 2>/dev/null || true
  ours_pid=""
  verdict=$(awk -v a="$ours_first" -v b="$ours_last" 'BEGIN { print (b <= a * 1.2) ? "flat" : "GROWS" }')
  [ "$verdict" = flat ] || failed=1
  awk -v p="$page" -v f="$first" -v t="$total" -v a="$ours_first" -v b="$ours_last" -v c="$nginx_first" \
      -v d="$nginx_last" -v v="$verdict" 'BEGIN {
    printf "%-18s ours RSS %7.1f MB after %d, %7.1f MB after %d: ratio %.2f (%s)   nginx %5.1f -> %5.1f MB\n",
           p, a / 1024, f, b / 1024, t, b / a, v, c / 1024, d / 1024 }'
done
echo "(nginx serves the pages as static files; ours runs each as a Tcl script on a pool worker with its own interpreter, so its absolute size is larger by design: the ratio over time is the measure)"
exit $failed
