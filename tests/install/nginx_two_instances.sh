#!/usr/bin/env bash
# nginx_two_instances.sh MAPSERVICE EXPORT
# Two map services on the loopback with nginx in front, as the nginx example has it: a
# picture exported through nginx while one service is stopped half-way is complete and
# the same as the picture exported from a service directly. Exits 77 (skipped) without nginx.
set -euo pipefail
mapservice=$1
export_tool=$2
nginx=$(command -v nginx || true)
[ -n "$nginx" ] || [ ! -x /usr/sbin/nginx ] || nginx=/usr/sbin/nginx
if [ -z "$nginx" ]; then
  echo "Skipped: nginx is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  for log in "$work"/*.log; do echo "== $log"; tail -n 5 "$log"; done
  exit 1
}

# Each service picks a free port and says which.
start_service() {  # name
  "$mapservice" --port 0 --delay-ms 40 --log >"$work/$1.out" 2>"$work/$1.log" &
  pids+=($!)
  eval "${1}_pid=$!"
  for _ in $(seq 100); do
    grep -q 'listening on' "$work/$1.out" && break
    sleep 0.05
  done
  local endpoint
  endpoint=$(sed -n 's/.*listening on //p' "$work/$1.out")
  [ -n "$endpoint" ] || fail "$1 does not listen"
  eval "${1}_port=$(echo "$endpoint" | sed 's|.*:\([0-9]*\)/.*|\1|')"
}
start_service one
start_service two

# nginx as this user, with its files in the scratch folder, on a free loopback port.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
pid $work/nginx.pid;
error_log $work/nginx.log warn;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  upstream quorvil_mapservice {
    server 127.0.0.1:$one_port max_fails=1 fail_timeout=30s;
    server 127.0.0.1:$two_port max_fails=1 fail_timeout=30s;
    keepalive 8;
  }
  server {
    listen 127.0.0.1:$port;
    location /terraservice.asmx {
      proxy_pass http://quorvil_mapservice;
      proxy_http_version 1.1;
      proxy_set_header Connection "";
      proxy_connect_timeout 2s;
      proxy_next_upstream error timeout http_502 http_503 non_idempotent;
    }
  }
}
CONF
"$nginx" -p "$work" -c "$work/nginx.conf" -e "$work/nginx.log" &
pids+=($!)
for _ in $(seq 100); do
  curl -s -o /dev/null --max-time 1 "http://127.0.0.1:$port/terraservice.asmx?WSDL" && break
  sleep 0.05
done

picture=(--center -73.965,40.784 --size 1200x800 --zoom 4m --connections 2 --quiet)
"$export_tool" --server "http://127.0.0.1:$one_port/terraservice.asmx" --cache "$work/direct-cache" \
  "${picture[@]}" -o "$work/direct.jpg" </dev/null || fail "the direct export"

"$export_tool" --server "http://127.0.0.1:$port/terraservice.asmx" --cache "$work/nginx-cache" \
  "${picture[@]}" -o "$work/nginx.jpg" </dev/null &
export_pid=$!
pids+=($export_pid)
# Stop the second service once it has answered some of the tiles.
for _ in $(seq 200); do
  [ "$(grep -c GetTile "$work/two.log" || true)" -ge 4 ] && break
  sleep 0.02
done
[ "$(grep -c GetTile "$work/two.log" || true)" -ge 4 ] || fail "nginx sent no tiles to the second service"
kill -TERM "$two_pid"
wait "$two_pid" || fail "the second service did not stop cleanly on SIGTERM"
after=$(find "$work/nginx-cache" -type f | wc -l)
status=0
wait "$export_pid" || status=$?
[ "$status" -eq 0 ] || fail "the export through nginx ended with $status"
total=$(find "$work/direct-cache" -type f | wc -l)
[ "$after" -lt "$total" ] || fail "the second service stopped only after the last tile"
cmp -s "$work/direct.jpg" "$work/nginx.jpg" || fail "the picture through nginx differs"
echo "$total tiles through nginx, $after before one of the two services stopped: the same picture"
