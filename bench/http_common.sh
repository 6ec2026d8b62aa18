# http_common.sh -- helpers of the web server's benchmark scripts, sourced
# by them (bash, with `set -euo pipefail`); `bench_name` names the script
# in messages.

# Installs the Debian packages named that are not installed yet.
install_missing() {
  local need=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
  done
  [ ${#need[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "$bench_name: missing packages: ${need[*]}; installing them needs root," \
      "e.g. sudo apt-get install --no-install-recommends ${need[*]}" >&2
    return 1
  fi
  echo "$bench_name: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
}

# Prints a TCP port that was free on 127.0.0.1 a moment ago.
free_port() {
  python3 -c "import socket; s=socket.socket(); s.bind(('127.0.0.1',0)); print(s.getsockname()[1])"
}

# Waits until 127.0.0.1:PORT answers PATH (30 s at most).
wait_serving() {
  local port=$1 path=$2
  for _ in $(seq 1 300); do
    curl -s -o /dev/null "http://127.0.0.1:$port$path" && return 0
    sleep 0.1
  done
  echo "$bench_name: nothing answers on port $port" >&2
  return 1
}
