#!/usr/bin/env bash
# Sets up, builds and opens Hubrix. Without arguments it is wired to a simulated rack of hub
# boards (a few boards among silent serial ports) in a program directory of its own,
# build/rack, whose ports/ folder stands in for the serial ports. With --real it opens Hubrix
# in build/ on the machine's own serial ports.
set -euo pipefail
cd "$(dirname "$0")/.."

# Checked before anything is installed or built: without a display the build would be wasted.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'TXT'
No display found (DISPLAY and WAYLAND_DISPLAY are unset), so Hubrix cannot open its window.
Run it under a virtual display instead:
    sudo apt-get install -y xvfb && xvfb-run -a scripts/run.sh
TXT
    exit 1
fi

# Only the program, hubrixctl and the simulator: the tests and benchmarks are test.sh's
# business.
scripts/setup.sh hubrix hubrixctl hubsim

if [ "${1:-}" = "--real" ]; then
    echo "Starting build/src/hubrix on this machine's serial ports"
    exec build/src/hubrix
fi

rack=build/rack
mkdir -p "$rack"
# hubrixctl beside the copy talks to it without being told where it is:
#     build/rack/hubrixctl status
cp build/src/hubrix build/src/libhubrix_network.so build/src/libhubrix_mqtt.so \
    build/tools/hubrixctl/hubrixctl "$rack/"
# The simulator reads its commands (plug, unplug, fault, ...) from a named pipe, so that a
# second terminal can plug in a board while Hubrix runs:
#     echo "plug 14 0A0B" > build/rack/hubsim.commands
commands="$rack/hubsim.commands"
rm -f "$commands"
mkfifo "$commands"
# Opened for reading and writing, the pipe never reports an end while nobody writes.
exec 3<>"$commands"
build/tools/hubsim/hubsim --dir "$rack" --board 3:0102 --board 7:0203 --board 12:1A2B \
    --silent 1,2,5,9 <&3 &
simulator=$!
trap 'kill $simulator 2>/dev/null; wait $simulator 2>/dev/null' EXIT
# The simulator links ports/COM<n> as it creates them; start once the last one is there.
for _ in $(seq 50); do
    [ -e "$rack/ports/COM12" ] && break
    sleep 0.1
done
echo "Starting Hubrix in $rack, wired to simulated boards on ports 3, 7 and 12"
"$rack/hubrix"
