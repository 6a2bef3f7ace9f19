#!/usr/bin/env bash
# Takes PNG screenshots of Porvix on a virtual X server, in English and in
# Japanese: the main window with two sessions, the options dialog, the two
# sessions tiled side by side, the ping and resolver windows, the About window,
# a session's monitor window with some traffic and the client and server I/O
# options dialogs. They go to docs/screenshots/.
#
#   bash scripts/screenshots.sh [path/to/porvix]
#
# Run as root, installs what is missing (the virtual X server, a window
# manager, a Japanese font and the tools that take the pictures and press the
# keys); without them it says what to install and fails. Without a binary
# given, builds one in build-screenshots/.
set -euo pipefail

# One language, run inside the virtual X server: screenshots.sh --inside
# BINARY LANGUAGE-TAG OUTPUT-FOLDER.
if [ "${1:-}" = --inside ]; then
    binary=$2 tag=$3 out=$4
    work=$(mktemp -d)
    trap 'kill "${porvix:-}" "${wm:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
    home=$work/home
    mkdir -p "$home" && chmod 700 "$home"
    # Two sessions: a named server on a virtual port, active, that lets only
    # loopback clients in, and a client with TLS on a real port, not active.
    # 21000 x 10500 twips are 1400 x 700 pixels, room for the two windows
    # side by side.
    cat > "$home/default.pvx" <<EOF
[Porvix]
NumSessions=2
MainLeft=300
MainTop=300
MainWidth=21000
MainHeight=10500
VirtualPortDir=$work/ports
[Session1]
Connector=5
CreateVirtualPort=1
TCPOption=1
LocalIP=127.0.0.1
PortNumber=47001
BaudRate=6
Databits=3
BufferSize=2
AutoActivate=1
SessionDescription=Bench scale
AllowFrom=127.0.0.1 ::1
[Session2]
Connector=3
BaudRate=6
Databits=3
IPAddress=192.0.2.20
PortNumber=4001
BufferSize=2
TLS=1
TLSCertificate=client.pem
TLSKey=client.key
TLSTrust=ca.pem
EOF
    openbox >/dev/null 2>&1 &
    wm=$!
    sleep 1
    "$binary" --home "$home" >/dev/null 2>&1 &
    porvix=$!
    frame=$(timeout 20 xdotool search --sync --name '^Porvix$' | head -n 1)
    # The start-up runs a second after the window appears; then the sessions
    # activate.
    sleep 3
    shoot() {
        xdotool windowactivate --sync "$frame" >/dev/null 2>&1 || true
        sleep 1
        scrot --focused --border --overwrite "$out/$1-$tag.png"
    }
    shoot main
    # File, then down to Options... and Enter.
    xdotool key --delay 150 alt+f Down Down Down Down Down Return
    sleep 2
    scrot --focused --border --overwrite "$out/options-$tag.png"
    xdotool key Escape
    sleep 1
    # Tools: ping this computer, then look localhost up.
    xdotool windowactivate --sync "$frame" >/dev/null 2>&1 || true
    xdotool key --delay 150 alt+t Return
    sleep 2
    xdotool type --delay 50 127.0.0.1
    xdotool key Return
    sleep 2
    scrot --focused --border --overwrite "$out/ping-$tag.png"
    xdotool key Escape
    sleep 1
    xdotool windowactivate --sync "$frame" >/dev/null 2>&1 || true
    xdotool key --delay 150 alt+t Down Return
    sleep 2
    xdotool type --delay 50 localhost
    xdotool key Return
    sleep 2
    scrot --focused --border --overwrite "$out/resolve-$tag.png"
    xdotool key Escape
    sleep 1
    xdotool windowactivate --sync "$frame" >/dev/null 2>&1 || true
    xdotool key --delay 150 alt+w v
    sleep 1
    shoot tiled
    # Help, About.
    xdotool key --delay 150 alt+h a
    sleep 2
    scrot --focused --border --overwrite "$out/about-$tag.png"
    xdotool key Escape
    sleep 1
    # Tiled, the client session is on the right: its I/O Options button, in
    # screen coordinates (the main window stands at 20,20 and is 1400 x 700).
    # The Japanese glyphs make the lines taller, so the buttons stand lower.
    if [ "$tag" = ja ]; then options_y=297 deactivate_y=501 monitor_x=225; else options_y=265 deactivate_y=445 monitor_x=205; fi
    # Qt takes a click only after the pointer has moved over the button.
    click() {
        xdotool mousemove "$1" "$2"
        sleep 0.5
        xdotool mousemove_relative 1 1
        sleep 0.3
        xdotool click 1
        sleep 2
    }
    # The server session's monitor while a client and the program on the
    # virtual port talk through it.
    click "$monitor_x" "$deactivate_y"
    python3 - "$work/ports/COM5" <<'TRAFFIC' &
import os, socket, sys, termios, time, tty
port = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
tty.setraw(port, termios.TCSANOW)
time.sleep(0.5)
client = socket.create_connection(("127.0.0.1", 47001))
for request, reply in ((b"ATI\r\n", b"Bench scale v2.1\r\nOK\r\n"),
                       (b"W\r\n", b"\x02  12.500 kg\x03\r\n")):
    time.sleep(0.4)
    client.sendall(request)
    time.sleep(0.4)
    os.read(port, 100)
    os.write(port, reply)
time.sleep(0.4)
client.recv(100)
time.sleep(4)
TRAFFIC
    traffic=$!
    sleep 3
    monitor=$(timeout 10 xdotool search --name ' - Bench scale$' | head -n 1)
    xdotool windowactivate --sync "$monitor" >/dev/null 2>&1 || true
    sleep 1
    scrot --focused --border --overwrite "$out/monitor-$tag.png"
    xdotool key alt+F4
    wait "$traffic" || true
    sleep 1
    click 1240 "$options_y"
    scrot --focused --border --overwrite "$out/client-options-$tag.png"
    xdotool key Escape
    sleep 1
    # De-Activate the server session on the left, then its I/O Options.
    click 650 "$deactivate_y"
    click 540 "$options_y"
    scrot --focused --border --overwrite "$out/server-options-$tag.png"
    xdotool key Escape
    sleep 1
    kill -TERM "$porvix"
    wait "$porvix" || true
    exit 0
fi

cd "$(dirname "$0")/.."
# As root with apt, whatever is missing is installed: the program's own
# packages, and what the screenshots need beside them.
if [ "$EUID" -eq 0 ] && command -v apt-get >/dev/null; then
    bash scripts/install-deps.sh openbox fonts-noto-cjk scrot xdotool
fi
# The virtual X server, its window manager and the tools that press the keys
# and grab the screen.
missing=
for tool in xvfb-run Xvfb xauth openbox scrot xdotool; do
    command -v "$tool" >/dev/null || missing+=" $tool"
done
if [ -n "$missing" ]; then
    echo "screenshots.sh: no virtual display server to run Porvix on (missing:$missing)." >&2
    echo "Install it as root: apt-get install xvfb xauth openbox scrot xdotool fonts-noto-cjk" >&2
    exit 1
fi

binary=${1:-}
if [ -z "$binary" ]; then
    cmake -S . -B build-screenshots -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPVX_TESTS=OFF >/dev/null
    cmake --build build-screenshots --target porvix
    binary=build-screenshots/porvix
fi
binary=$(realpath "$binary")
out=$(realpath -m docs/screenshots)
mkdir -p "$out"

# The windows use the desktop's font; fontconfig supplies the Japanese glyphs.
echo "Japanese glyphs from: $(fc-match -f '%{family[0]}' 'sans-serif:lang=ja')"
for language in en:C.UTF-8 ja:ja_JP.UTF-8; do
    tag=${language%%:*}
    # The program picks its language from LANG; the rest of the environment
    # is the caller's, without a display or a platform of its own.
    env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY -u LC_ALL -u LC_MESSAGES LANG="${language#*:}" \
        xvfb-run -a -s "-screen 0 1600x1100x24" bash "$0" --inside "$binary" "$tag" "$out"
    echo "screenshots ($tag) in $out"
done
