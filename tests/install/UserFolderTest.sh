#!/usr/bin/env bash
# An installation into a scratch prefix, started with a scratch home from another folder:
# the first start makes the user's folder from the installed toy box and works there, a
# second start reuses it and keeps what the user changed; --root still chooses the folder.
# The desktop program is started too when a display is at hand (it closes on SIGTERM as
# on the window's close button, storing its settings).
#   UserFolderTest.sh <build dir> <cmake program>
set -euo pipefail
build=$1
cmake=${2:-cmake}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
export HOME=$scratch/home
unset XDG_DATA_HOME
user=$HOME/.local/share/kivaro
mkdir -p "$HOME" "$scratch/elsewhere"
cd "$scratch/elsewhere"

failures=0
check() { # check <description> <command...>
    local description=$1
    shift
    if ! "$@"; then
        echo "FAILED: $description" >&2
        failures=$((failures + 1))
    fi
}
count() { grep -c "$1" "$2" || true; }
utf16() { iconv -f UTF-16LE -t UTF-8 "$1" | sed -e '1s/^\xef\xbb\xbf//' -e 's/\r$//'; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
for file in bin/kivaro-sim lib/kivaro/libResource.so lib/kivaro/kivaro-render.so share/kivaro/items/ball/ball.wtf share/kivaro/data/land.png \
    share/applications/kivaro.desktop share/metainfo/kivaro.metainfo.xml share/man/man1/kivaro-sim.1.gz \
    share/icons/hicolor/48x48/apps/kivaro.png share/icons/hicolor/256x256/apps/kivaro.png; do
    check "installed $file" test -f "$prefix/$file"
done

# first start: the user's folder is made and the ten toys are listed from it
"$prefix/bin/kivaro-sim" --check >first.jsonl
check "ten toys listed on the first start" test "$(count '"name":' first.jsonl)" -eq 10
check "ten toys copied into the user's folder" test "$(find "$user/items" -name '*.wtf' | wc -l)" -eq 10
check "assets copied into the user's folder" test -f "$user/data/land.png"
check "nothing written where the program was started" test -z "$(ls -A . | grep -v first.jsonl)"

# the user edits a toy; the next start lists the edited one and leaves it as it is
sed -i 's/name="Ball"/name="My Ball"/' "$user/items/ball/ball.wtf"
"$prefix/bin/kivaro-sim" --check >second.jsonl
check "the edited toy listed on the second start" grep -q '"name":"My Ball"' second.jsonl
check "still ten toys" test "$(count '"name":' second.jsonl)" -eq 10
check "the installed toy unchanged" grep -q 'name="Ball"' "$prefix/share/kivaro/items/ball/ball.wtf"
"$prefix/bin/kivaro-sim" --root "$prefix/share/kivaro" --check >root.jsonl
check "--root works in the folder it names" grep -q '"name":"Ball"' root.jsonl

if [ -z "${DISPLAY:-}" ] || [ ! -x "$prefix/bin/kivaro" ]; then
    echo "no display or no desktop program: the desktop program's starts are not tried"
    exit $((failures > 0))
fi

# starts the desktop program, waits for its log's first record and closes it
start_desktop() {
    rm -f "$user/Kivaro.log"
    "$prefix/bin/kivaro" &
    local pid=$! waited=0
    until [ -s "$user/Kivaro.log" ] || [ $waited -ge 300 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    # the log is written once the windows are made; let the first frames pass before closing
    sleep 1
    kill -TERM $pid
    local status=0
    wait $pid || status=$?
    check "the desktop program closes cleanly on SIGTERM" test $status -eq 0
}

# the installed simulator draws its picture with the installed module, on no display
env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/kivaro-sim" --ticks 1 --render "$scratch/ball.png" \
    items/ball/ball.wtf >/dev/null || true
check "kivaro-sim --render writes a PNG without a display" grep -q PNG <(head -c 8 "$scratch/ball.png" 2>/dev/null)

start_desktop
check "the log names the user's folder" grep -qx ".*working folder: $user" <(utf16 "$user/Kivaro.log")
check "settings written in the user's folder" grep -q "Item0=items" <(utf16 "$user/Kivaro_u.ini")
check "no settings or log where the program was started" test ! -e Kivaro_u.ini -a ! -e Kivaro.log

# settings the user changed are read from the user's folder and stored back there
{
    printf '\xff\xfe'
    utf16 "$user/Kivaro_u.ini" | sed -e 's/^WindowX=.*/WindowX=123/' -e 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE
} >"$scratch/settings"
mv "$scratch/settings" "$user/Kivaro_u.ini"
start_desktop
check "the changed setting survives the second start" grep -qx "WindowX=123" <(utf16 "$user/Kivaro_u.ini")
check "the edited toy survives the desktop program" grep -q 'name="My Ball"' "$user/items/ball/ball.wtf"
exit $((failures > 0))
