# Sourced by the benchmarks that fetch from a local nginx: a work folder
# ($dir, removed at exit with the server) and nginx_start, which serves
# $dir/www on a free loopback port ($port) with the given extra lines in its
# http block. Needs /usr/sbin/nginx, curl and python3.

dir=$(mktemp -d /tmp/kwinet-bench-XXXXXX)
nginx_pid=
nginx_cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  rm -rf "$dir"
}
trap nginx_cleanup EXIT
mkdir -p "$dir/www" "$dir/tmp"

nginx_start() {
  port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  cat > "$dir/nginx.conf" <<CONF
daemon off;
master_process off;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 16; }
http {
  access_log off;
  sendfile on;
  $1
  client_body_temp_path $dir/tmp; proxy_temp_path $dir/tmp; fastcgi_temp_path $dir/tmp;
  uwsgi_temp_path $dir/tmp; scgi_temp_path $dir/tmp;
  default_type application/octet-stream;
  server { listen 127.0.0.1:$port; root $dir/www; }
}
CONF
  /usr/sbin/nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" &
  nginx_pid=$!
  for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "nginx did not start (see $dir/error.log)" >&2
  return 1
}
