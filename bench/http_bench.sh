#!/usr/bin/env bash
# http_bench.sh -- the web server against nginx, lighttpd and Apache with
# mod_rivet, each on the same CPUs, one request per connection.
#
#     bench/http_bench.sh [BUILD_DIR]      (default: build; relative to the
#                                          source folder unless absolute)
#
# Every server runs pinned to the same CPU list (KIV_BENCH_SERVER_CPUS,
# default 0-3) with its worker count set to the number of CPUs in it; the
# load generator (wrk) runs on other CPUs (KIV_BENCH_LOAD_CPUS, default
# 4-7). Keep-alive is off everywhere and every request says
# "Connection: close". The peers are configured as their users configure
# them: nginx sends precompressed static files (gzip_static), lighttpd
# compresses once into its cache folder (mod_deflate), Apache runs
# mpm_prefork with mod_rivet and compresses pages with mod_deflate at
# level 1, the level our pages use.
#
# Static cases (ours, nginx, lighttpd):
#   1k        a 1 KiB file                          req/s
#   304       the same file, If-Modified-Since      req/s
#   64k-gzip  a 64 KiB text file, gzip              req/s
#   50m       a 50 MiB file                         MiB/s
# Page cases (ours, Apache + Rivet; skipped with a message when Apache or
# mod_rivet cannot be installed), the same Tcl code on both sides:
#   hello     a 14-byte page
#   query     a query variable, HTML-escaped
#   loop      about 64 KiB printed by a loop of 1,000 lines
#   loop-gzip the same, gzip
# Before any timing every case's body is fetched from every server and
# compared (after decompression where gzip is asked for), and gzip cases
# must really arrive gzipped. Each figure is the median of
# KIV_BENCH_ROUNDS rounds (default 3) of KIV_BENCH_SECONDS seconds
# (default 3). KIV_BENCH_CASES picks cases by name (for example
# "hello query loop loop-gzip" runs the pages only; default all). The
# output has one line per case and server and one
# "ratio" line per case and peer (ours / peer; above 1 means ours is
# faster), plus p99 latency for the pages. Exits non-zero when a tool
# fails or the servers disagree. Missing tools are installed with apt-get.
#
# Every case runs twice, as KIV_BENCH_LOGS says (default "on off"): with
# the access log on for every server ("logs on": ours to a file of its
# own, nginx's access_log, lighttpd's accesslog.filename, Apache's
# CustomLog, each in its default line format), as deployments run them,
# and with every access log off ("logs off"). Each line of the output
# names the row. With the logs on, each case checks that the log of the
# server it measured received lines (else the run fails: a log that did
# not open would make a row without logs); the access logs are emptied
# after each case (copytruncate-like; every server appends).
set -euo pipefail
build=${1:-build}
root_dir=$(cd "$(dirname "$0")/.." && pwd)
case $build in /*) serve="$build/bin/http_serve" ;; *) serve="$root_dir/$build/bin/http_serve" ;; esac
[ -x "$serve" ] || { echo "http_bench: $serve is not built" >&2; exit 1; }
server_cpus=${KIV_BENCH_SERVER_CPUS:-0-3}
load_cpus=${KIV_BENCH_LOAD_CPUS:-4-7}
rounds=${KIV_BENCH_ROUNDS:-3}
seconds=${KIV_BENCH_SECONDS:-3}
cases=" ${KIV_BENCH_CASES:-1k 304 64k-gzip 50m hello query loop loop-gzip} "
log_modes=${KIV_BENCH_LOGS:-on off}
# Whether the case named is among those asked for.
wanted() { [[ $cases == *" $1 "* ]]; }
static_wanted=0
for name in 1k 304 64k-gzip 50m; do wanted "$name" && static_wanted=1; done

# The number of CPUs in a taskset list such as "0-3,6".
cpu_count() {
  python3 -c "import sys
n = 0
for part in sys.argv[1].split(','):
    a, _, b = part.partition('-')
    n += int(b or a) - int(a) + 1
print(n)" "$1"
}
workers=$(cpu_count "$server_cpus")
load_threads=$(cpu_count "$load_cpus")

bench_name=http_bench
# shellcheck source=bench/http_common.sh
. "$root_dir/bench/http_common.sh"
install_missing nginx lighttpd lighttpd-mod-deflate wrk curl python3
# Debian's packages start their daemons on installation; the benchmark
# runs its own instances on free ports.
for svc in nginx lighttpd; do service "$svc" stop >/dev/null 2>&1 || true; done
have_rivet=1
if ! install_missing apache2 libapache2-mod-rivet; then
  have_rivet=0
fi
service apache2 stop >/dev/null 2>&1 || true
[ -f /usr/lib/apache2/modules/mod_rivet.so ] || have_rivet=0

work=$(mktemp -d)
pids=()
# Each server runs in a process group of its own (setsid), so that its
# workers go with it; a server still there after 5 s is killed.
stop_servers() {
  local pid _
  for pid in "${pids[@]}"; do kill -TERM -- "-$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 -- "-$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL -- "-$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  pids=()
}
cleanup() {
  stop_servers
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 1" INT TERM

# The peers' workers drop root rights: everything must be readable to all.
docs="$work/docs"
mkdir -p "$docs"
chmod 755 "$work" "$docs"
head -c 1024 /dev/urandom > "$docs/1k.bin"
python3 -c "import sys; sys.stdout.write(''.join('line %06d of the text file\n' % i for i in range(2400))[:65536])" > "$docs/64k.txt"
gzip -k -1 "$docs/64k.txt"
head -c $((50 * 1024 * 1024)) /dev/urandom > "$docs/50m.bin"

# The pages: the same Tcl on both sides. Our puts adds no line break and
# reads the query through the request object; Rivet's needs -nonewline
# and reads it with "var get".
escape_proc='proc html_escape {text} { string map {& &amp; < &lt; > &gt; \" &quot; '"'"' &#39;} $text }'
loop_code='for {set i 0} {$i < 1000} {incr i} { PUTS "line [format %04d $i] of a page built by a loop, padded to sixty-four bytes\n" }'
write_page() {
  local name=$1 ours=$2 rivet=$3
  printf '%s' "$ours" > "$docs/$name.html"
  printf '%s' "$rivet" > "$docs/$name.rvt"
}
write_page hello '<? puts "Hello, world!\n" ?>' '<? puts -nonewline "Hello, world!\n" ?>'
write_page query "<? $escape_proc; puts \"<p>[html_escape [i_http_request_get_var_value \$http_request q]]</p>\" ?>" \
                 "<? $escape_proc; puts -nonewline \"<p>[html_escape [var get q]]</p>\" ?>"
write_page loop "<? ${loop_code//PUTS/puts} ?>" "<? ${loop_code//PUTS/puts -nonewline} ?>"
chmod -R a+rX "$docs"

# Started in the background; exec leaves no subshell between the script
# and the server, so that $! is the server's process group for cleanup.
pinned() { exec setsid taskset -c "$server_cpus" "$@"; }

[ $have_rivet -eq 1 ] || echo "http_bench: Apache with mod_rivet is not available; the page cases are skipped"
access_logs=("$work/ours_access.log" "$work/nginx_access.log" "$work/lighttpd_logs/access.log" "$work/apache_access.log")
# The access log of a server by its name in the rows.
server_log() {
  case $1 in
    ours) echo "${access_logs[0]}" ;;
    nginx) echo "${access_logs[1]}" ;;
    lighttpd) echo "${access_logs[2]}" ;;
    apache) echo "${access_logs[3]}" ;;
  esac
}

# Starts every server with its access log on or off ($1: on|off) on new
# ports, and checks that they all give the same bodies.
start_servers() {
local logs=$1
local ours_log=off nginx_log="access_log off;" lighttpd_modules='"mod_deflate"' lighttpd_log="" apache_log=""
if [ "$logs" = on ]; then
  ours_log=${access_logs[0]}
  nginx_log="access_log ${access_logs[1]};"
  lighttpd_modules='"mod_deflate", "mod_accesslog"'
  lighttpd_log="accesslog.filename = \"${access_logs[2]}\""
  # Debian's Apache has mod_log_config built in.
  apache_log="LogFormat \"%h %l %u %t \\\"%r\\\" %>s %O \\\"%{Referer}i\\\" \\\"%{User-Agent}i\\\"\" combined
CustomLog ${access_logs[3]} combined"
fi
ours_port=$(free_port)
pinned "$serve" --root "$docs" --port "$ours_port" --state "$work/ours_state" --access-log "$ours_log" > "$work/ours.log" 2>&1 &
pids+=($!)

nginx_port=$(free_port)
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
cat > "$work/nginx.conf" <<CONF
daemon off;
worker_processes $workers;
pid $work/nginx.pid;
error_log $work/nginx_error.log;
events { worker_connections 4096; }
http {
  $nginx_log
  keepalive_timeout 0;
  sendfile on;
  tcp_nopush on;
  open_file_cache max=1000;
  gzip_static on;
  types { text/plain txt; application/octet-stream bin; }
  client_body_temp_path $work/nginx_body;
  proxy_temp_path $work/nginx_proxy;
  fastcgi_temp_path $work/nginx_fastcgi;
  uwsgi_temp_path $work/nginx_uwsgi;
  scgi_temp_path $work/nginx_scgi;
  server { listen 127.0.0.1:$nginx_port; root $docs; }
}
CONF
pinned "$nginx_bin" -c "$work/nginx.conf" -p "$work" &
pids+=($!)

lighttpd_port=$(free_port)
mkdir -p "$work/lighttpd_cache" "$work/lighttpd_logs"
chown www-data:www-data "$work/lighttpd_cache" "$work/lighttpd_logs"
cat > "$work/lighttpd.conf" <<CONF
server.document-root = "$docs"
server.bind = "127.0.0.1"
server.port = $lighttpd_port
server.pid-file = "$work/lighttpd.pid"
server.errorlog = "$work/lighttpd_logs/error.log"
server.username = "www-data"
server.groupname = "www-data"
server.max-worker = $workers
server.max-keep-alive-requests = 0
server.max-fds = 16384
server.modules = ( $lighttpd_modules )
$lighttpd_log
mimetype.assign = ( ".txt" => "text/plain", ".bin" => "application/octet-stream" )
deflate.mimetypes = ( "text/plain" )
deflate.allowed-encodings = ( "gzip" )
deflate.cache-dir = "$work/lighttpd_cache"
CONF
pinned lighttpd -D -f "$work/lighttpd.conf" &
pids+=($!)

apache_port=""
if [ $have_rivet -eq 1 ]; then
  apache_port=$(free_port)
  mods=/usr/lib/apache2/modules
  cat > "$work/apache.conf" <<CONF
ServerRoot "$work"
ServerName 127.0.0.1
Listen 127.0.0.1:$apache_port
PidFile $work/apache.pid
DefaultRuntimeDir $work
Mutex file:$work default
ErrorLog $work/apache_error.log
LogLevel warn
$apache_log
LoadModule mpm_prefork_module $mods/mod_mpm_prefork.so
LoadModule authz_core_module $mods/mod_authz_core.so
LoadModule mime_module $mods/mod_mime.so
LoadModule filter_module $mods/mod_filter.so
LoadModule deflate_module $mods/mod_deflate.so
LoadModule rivet_module $mods/mod_rivet.so
User www-data
Group www-data
StartServers $workers
MinSpareServers $workers
MaxSpareServers $workers
ServerLimit $workers
MaxRequestWorkers $workers
MaxConnectionsPerChild 0
KeepAlive Off
DocumentRoot "$docs"
<Directory "$docs">
  Require all granted
</Directory>
TypesConfig /etc/mime.types
AddType application/x-httpd-rivet .rvt
AddOutputFilterByType DEFLATE text/html
DeflateCompressionLevel 1
CONF
  pinned /usr/sbin/apache2 -f "$work/apache.conf" -DFOREGROUND &
  pids+=($!)
fi

wait_serving "$ours_port" /1k.bin || exit 1
wait_serving "$nginx_port" /1k.bin || exit 1
wait_serving "$lighttpd_port" /1k.bin || exit 1
if [ -n "$apache_port" ]; then wait_serving "$apache_port" /hello.rvt || exit 1; fi

# The body of one request, decompressed when gzip was asked for and
# checked to have come gzipped.
body_sum() {
  local url=$1 gzip=$2 headers="$work/headers"
  if [ "$gzip" = 1 ]; then
    curl -s -D "$headers" -H 'Accept-Encoding: gzip' "$url" -o "$work/body.gz"
    grep -qi '^Content-Encoding: *gzip' "$headers" || { echo "http_bench: $url came without gzip" >&2; exit 1; }
    gzip -dc "$work/body.gz" | md5sum
  else
    curl -s "$url" | md5sum
  fi
}
same_bodies() {
  local gzip=$1 first=$2; shift 2
  local want url
  want=$(body_sum "$first" "$gzip")
  for url in "$@"; do
    [ "$(body_sum "$url" "$gzip")" = "$want" ] || { echo "http_bench: $url differs from $first" >&2; exit 1; }
  done
  echo "check same body: ${first##*/} (gzip $gzip)"
}
static_urls() { echo "http://127.0.0.1:$ours_port/$1 http://127.0.0.1:$nginx_port/$1 http://127.0.0.1:$lighttpd_port/$1"; }
if [ $static_wanted -eq 1 ]; then
  # shellcheck disable=SC2046
  same_bodies 0 $(static_urls 1k.bin)
  # shellcheck disable=SC2046
  same_bodies 1 $(static_urls 64k.txt)
  # shellcheck disable=SC2046
  same_bodies 0 $(static_urls 50m.bin)
fi
if [ -n "$apache_port" ]; then
  for page in hello query loop; do
    same_bodies 0 "http://127.0.0.1:$ours_port/$page.html?q=%3Ca%26b%3E" "http://127.0.0.1:$apache_port/$page.rvt?q=%3Ca%26b%3E"
  done
  same_bodies 1 "http://127.0.0.1:$ours_port/loop.html" "http://127.0.0.1:$apache_port/loop.rvt"
fi
stamp() { curl -s -I "http://127.0.0.1:$1/1k.bin" | tr -d '\r' | sed -n 's/^Last-Modified: //p'; }
if [ $static_wanted -eq 1 ]; then
  for port in "$ours_port" "$nginx_port" "$lighttpd_port"; do
    code=$(curl -s -o /dev/null -w '%{http_code}' -H "If-Modified-Since: $(stamp "$port")" "http://127.0.0.1:$port/1k.bin")
    [ "$code" = 304 ] || { echo "http_bench: no 304 from the server on port $port" >&2; exit 1; }
  done
  echo "check 304 from every server"
fi
}

# One wrk run: prints "REQ_PER_S MIB_PER_S P99_MS".
wrk_once() {
  local connections=$1 url=$2; shift 2
  taskset -c "$load_cpus" wrk -t"$load_threads" -c"$connections" -d"${seconds}s" --latency \
      -H "Connection: close" "$@" "$url" | awk '
    function ms(v) { if (v ~ /us$/) return v / 1000; if (v ~ /ms$/) return v + 0; if (v ~ /s$/) return v * 1000; return v }
    function mib(v) { if (v ~ /GB$/) return v * 1024; if (v ~ /MB$/) return v + 0; if (v ~ /KB$/) return v / 1024; return v / 1048576 }
    /Requests\/sec/ { r = $2 }
    /Transfer\/sec/ { t = mib($2) }
    $1 == "99%" { p = ms($2) }
    /Non-2xx or 3xx/ { bad = $NF }
    END { if (bad > 0) print "bad " bad; else printf "%.1f %.1f %.2f\n", r, t, p }'
}
# The median of the rounds, field by field.
measure() {
  local connections=$1 url=$2; shift 2
  local i out
  # One round first that is not counted: the servers start their workers
  # and fill their caches (ours its script engines) here.
  wrk_once "$connections" "$url" "$@" >/dev/null
  for i in $(seq "$rounds"); do
    out=$(wrk_once "$connections" "$url" "$@")
    case "$out" in bad*) echo "http_bench: $url gave error answers ($out)" >&2; exit 1;; esac
    echo "$out"
  done | sort -n -k1 | awk -v n="$rounds" 'NR == int((n + 1) / 2) { print }'
}

declare -A result
run_case() {
  local name=$1 field=$2 connections=$3 server=$4 url=$5; shift 5
  local out
  out=$(measure "$connections" "$url" "$@")
  result["$name/$server"]=$(echo "$out" | awk -v f="$field" '{ print $f }')
  result["$name/$server/p99"]=$(echo "$out" | awk '{ print $3 }')
  printf "logs %-3s %-10s %-9s %12.1f %s   p99 %.2f ms\n" "$mode" "$name" "$server" "${result[$name/$server]}" \
      "$([ "$field" = 2 ] && echo 'MiB/s' || echo 'req/s')" "${result[$name/$server/p99]}"
  # With the logs on, the server just measured must have logged: a log
  # that failed to open would make this a row without logs in silence.
  local log
  if [ "$mode" = on ]; then
    log=$(server_log "$server")
    [ -s "$log" ] || { echo "http_bench: the access log of $server ($log) received no line in case $name" >&2; exit 1; }
  fi
  # The logs do not pile up over the cases: every server appends.
  for log in "${access_logs[@]}"; do [ ! -f "$log" ] || : > "$log"; done
}
ratio() {
  local name=$1 peer=$2
  awk -v m="$mode" -v n="$name" -v p="$peer" -v a="${result[$name/ours]}" -v b="${result[$name/$peer]}" \
      -v pa="${result[$name/ours/p99]}" -v pb="${result[$name/$peer/p99]}" 'BEGIN {
    r = a / b
    printf "ratio logs %-3s %-10s ours/%-9s %.2f   (p99 ours/%s %.2f)\n", m, n, p, r, p, pa / pb
    if (r < 0.2 || r > 5)
      printf "note %s: a ratio this far from 1 means one side did different work or failed; check the logs in the run folder\n", n
  }'
}

echo "servers on CPUs $server_cpus ($workers workers each), wrk on CPUs $load_cpus; median of $rounds x ${seconds}s"
for mode in $log_modes; do
echo "-- logs $mode: every server's access log $([ "$mode" = on ] && echo "written to a file" || echo "off")"
start_servers "$mode"
# The servers take turns case by case, so that the figures of one ratio
# are taken close together while the load of the machine drifts.
static_url() {
  local name=$1 port=$2
  case $name in
    1k|304) echo "http://127.0.0.1:$port/1k.bin" ;;
    64k-gzip) echo "http://127.0.0.1:$port/64k.txt" ;;
    50m) echo "http://127.0.0.1:$port/50m.bin" ;;
  esac
}
for name in 1k 304 64k-gzip 50m; do
  wanted "$name" || continue
  for server in ours nginx lighttpd; do
    case $server in
      ours) port=$ours_port ;;
      nginx) port=$nginx_port ;;
      lighttpd) port=$lighttpd_port ;;
    esac
    url=$(static_url "$name" "$port")
    case $name in
      1k) run_case 1k 1 64 "$server" "$url" ;;
      304) run_case 304 1 64 "$server" "$url" -H "If-Modified-Since: $(stamp "$port")" ;;
      64k-gzip) run_case 64k-gzip 1 64 "$server" "$url" -H 'Accept-Encoding: gzip' ;;
      50m) run_case 50m 2 8 "$server" "$url" ;;
    esac
  done
  ratio "$name" nginx
  ratio "$name" lighttpd
done

if [ -n "$apache_port" ]; then
  for name in hello query loop loop-gzip; do
    wanted "$name" || continue
    for server in ours apache; do
      if [ $server = ours ]; then port=$ours_port; ext=html; else port=$apache_port; ext=rvt; fi
      base="http://127.0.0.1:$port"
      case $name in
        hello) run_case hello 1 64 "$server" "$base/hello.$ext" ;;
        query) run_case query 1 64 "$server" "$base/query.$ext?q=%3Ca%26b%3E" ;;
        loop) run_case loop 1 64 "$server" "$base/loop.$ext" ;;
        loop-gzip) run_case loop-gzip 1 64 "$server" "$base/loop.$ext" -H 'Accept-Encoding: gzip' ;;
      esac
    done
    ratio "$name" apache
  done
fi
stop_servers
done
