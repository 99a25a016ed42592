#!/usr/bin/env bash
# Sets everything up and runs the agent once on the bundled demo machine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh build

machine="$PWD/build/demo-machine"
rm -rf "$machine"
cp -r examples/demo-machine "$machine"
AVDEFUPDATE_MACHINE="$machine" build/avdefupdate "$@"

agent="$machine/drive_c/Program Files (x86)/Agent"
echo
echo "Demo machine:  $machine"
echo "Run log:       $agent/AVUpdate/AntivirusAutoUpdLog_New.log"
echo "Run state:     $agent/AVUpdate/LastAVDefUpd.ini"
echo "Records:       $agent/Status/"
echo "Status files:  $agent/PMStatus/"
echo
echo "Last lines of the log:"
tail -n 12 "$agent/AVUpdate/AntivirusAutoUpdLog_New.log"
