#!/usr/bin/env bash
# http_bench.sh -- the web server against nginx on loopback.
#
#     bench/http_bench.sh [BUILD_DIR]      (default: build)
#
# Serves one generated document root with BUILD_DIR/bin/http_serve and
# with nginx (keep-alive off, gzip of text files on, so both answer one
# request per connection and send the same bytes), checks that both give
# the same bodies, then loads each with wrk and ab and prints the ratio
# ours / nginx per case:
#   1k        a 1 KiB file                      (target >= 0.5)
#   64k-gzip  a 64 KiB text file, gzipped        (target >= 0.9)
#   304       a conditional request answered 304 (target >= 0.9)
#   50m       a 50 MiB file, throughput          (sendfile: near memory copy)
# Exits non-zero when a tool fails or the two servers disagree. nginx,
# wrk and ab (apache2-utils) are installed with apt-get when missing.
set -euo pipefail
build=${1:-build}
root_dir=$(cd "$(dirname "$0")/.." && pwd)
serve="$root_dir/$build/bin/http_serve"
[ -x "$serve" ] || { echo "http_bench: $serve is not built" >&2; exit 1; }

need=()
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || need+=(nginx)
command -v wrk >/dev/null || need+=(wrk)
command -v ab >/dev/null || need+=(apache2-utils)
command -v curl >/dev/null || need+=(curl)
if [ ${#need[@]} -gt 0 ]; then
  echo "http_bench: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y --no-install-recommends "${need[@]}"
fi
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
# nginx's workers drop root rights: the files must be readable to all.
chmod 755 "$work" "$docs"
head -c 1024 /dev/urandom > "$docs/1k.bin"
python3 -c "import sys; sys.stdout.write(''.join('line %06d of the text file\n' % i for i in range(2400))[:65536])" > "$docs/64k.txt"
head -c $((50 * 1024 * 1024)) /dev/urandom > "$docs/50m.bin"
chmod 644 "$docs"/*

free_port() {
  python3 -c "import socket; s=socket.socket(); s.bind(('127.0.0.1',0)); print(s.getsockname()[1])"
}
ours_port=$(free_port)
nginx_port=$(free_port)

"$serve" --root "$docs" --port "$ours_port" > "$work/ours.log" 2>&1 &
ours_pid=$!
cat > "$work/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx_error.log;
events { worker_connections 1024; }
http {
  access_log off;
  keepalive_timeout 0;
  sendfile on;
  gzip on;
  gzip_min_length 256;
  gzip_types text/plain;
  types { text/plain txt; application/octet-stream bin; }
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

for port in "$ours_port" "$nginx_port"; do
  for _ in $(seq 1 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/1k.bin" && break
    sleep 0.1
  done
done

# Both must send the same bodies.
for f in 1k.bin 64k.txt 50m.bin; do
  a=$(curl -s --compressed "http://127.0.0.1:$ours_port/$f" | md5sum)
  b=$(curl -s --compressed "http://127.0.0.1:$nginx_port/$f" | md5sum)
  [ "$a" = "$b" ] || { echo "http_bench: $f differs between the servers" >&2; exit 1; }
done
stamp=$(curl -s -I "http://127.0.0.1:$ours_port/1k.bin" | tr -d '\r' | sed -n 's/^Last-Modified: //p')
code=$(curl -s -o /dev/null -w '%{http_code}' -H "If-Modified-Since: $stamp" "http://127.0.0.1:$ours_port/1k.bin")
[ "$code" = 304 ] || { echo "http_bench: no 304 from our server" >&2; exit 1; }

# Requests per second from wrk (each request a new connection).
rps() {
  local port=$1 path=$2; shift 2
  wrk -t2 -c32 -d5s -H "Connection: close" "$@" "http://127.0.0.1:$port$path" |
    awk '/Requests\/sec/ {print $2}'
}
# Bytes per second from ab for the large file.
throughput() {
  local port=$1
  ab -q -n 20 -c 4 "http://127.0.0.1:$port/50m.bin" | awk '/Transfer rate/ {print $3}'
}
report() {
  local name=$1 ours=$2 theirs=$3
  [ -n "$ours" ] && [ -n "$theirs" ] || { echo "http_bench: $name: no measurement" >&2; exit 1; }
  awk -v n="$name" -v a="$ours" -v b="$theirs" 'BEGIN { printf "%-9s ours %12.1f  nginx %12.1f  ratio %.2f\n", n, a, b, a / b }'
}

report 1k "$(rps "$ours_port" /1k.bin)" "$(rps "$nginx_port" /1k.bin)"
report 64k-gzip "$(rps "$ours_port" /64k.txt -H 'Accept-Encoding: gzip')" \
                "$(rps "$nginx_port" /64k.txt -H 'Accept-Encoding: gzip')"
report 304 "$(rps "$ours_port" /1k.bin -H "If-Modified-Since: $stamp")" \
           "$(rps "$nginx_port" /1k.bin -H "If-Modified-Since: $(curl -s -I "http://127.0.0.1:$nginx_port/1k.bin" | tr -d '\r' | sed -n 's/^Last-Modified: //p')")"
report 50m "$(throughput "$ours_port")" "$(throughput "$nginx_port")"
