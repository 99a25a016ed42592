#!/usr/bin/env bash
# Sets everything up and runs the agent once on the bundled demo machine,
# against the example gateway (examples/demo-gateway) served on loopback.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh build

machine="$PWD/build/demo-machine"
rm -rf "$machine"
cp -r examples/demo-machine "$machine"

# The gateway and the management server's exclusion page: GET and POST both
# answer with the file at the path. It prints its port, then serves.
portfile="$(mktemp)"
/usr/bin/python3 - "$PWD/examples/demo-gateway" >"$portfile" 2>/dev/null <<'PY' &
import http.server, os, sys
root = sys.argv[1]
class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *a, **k):
        super().__init__(*a, directory=root, **k)
    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length") or 0))
        self.path = self.path.replace("//", "/")
        self.do_GET()
    def log_message(self, *a):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
gateway_pid=$!
trap 'kill "$gateway_pid" 2>/dev/null || true; rm -f "$portfile"' EXIT
for _ in $(seq 50); do [[ -s "$portfile" ]] && break; sleep 0.1; done
port="$(head -n1 "$portfile")"
[[ "$port" =~ ^[0-9]+$ ]] || { echo "demo: the example gateway did not start" >&2; exit 1; }
gateway="http://127.0.0.1:$port"

agent="$machine/drive_c/Program Files (x86)/Agent"
sed -i "s#{HTTP}#$gateway#g" "$agent/KovaMobile.ini" "$agent/Configuration/kServerMap.ini"
AVDEFUPDATE_MACHINE="$machine" build/avdefupdate "$@"

echo
echo "Gateway:       $gateway/avdefs/ (examples/demo-gateway)"
echo "Demo machine:  $machine"
echo "Run log:       $agent/AVUpdate/AntivirusAutoUpdLog_New.log"
echo "Run state:     $agent/AVUpdate/LastAVDefUpd.ini"
echo "Records:       $agent/Status/"
echo "Status files:  $agent/PMStatus/"
echo
echo "The gateway index as the run read it:"
grep -E "Download|ReadINIFile|on Gateway|Gateway\)" "$agent/AVUpdate/AntivirusAutoUpdLog_New.log" | head -n 20
echo
echo "Last lines of the log:"
tail -n 12 "$agent/AVUpdate/AntivirusAutoUpdLog_New.log"
