#!/usr/bin/env bash
# Installs the build into a fresh DESTDIR below /usr and checks the tree as a desktop
# would see it: the files are there, the menu entry and the AppStream metadata are clean
# under their validators, and the installed programs run from any folder through their
# links in usr/bin.
#   check-install.sh BUILD_DIR APP_ID WORK_DIR
set -uo pipefail

build=$1
app_id=$2
work=$3

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work"
dest=$work/dest
root=$dest/usr

if ! DESTDIR=$dest cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  fail "cmake --install failed"
  exit 1
fi

# ---- The layout ----
program_dir=$root/lib/wizconv
for f in wizconv wizconv-cli; do
  [ -x "$program_dir/$f" ] && [ ! -L "$program_dir/$f" ] || fail "$program_dir/$f is not an executable file"
  link=$root/bin/$f
  if [ ! -L "$link" ]; then
    fail "$link is not a link"
  else
    # Relative, so that the package and any DESTDIR can be moved.
    target=$(readlink "$link")
    [ "${target#/}" = "$target" ] || fail "$link points to the absolute $target"
    [ "$(readlink -f "$link")" = "$(readlink -f "$program_dir/$f")" ] ||
      fail "$link does not lead to $program_dir/$f"
  fi
done
# The commands wizconv-cli hands over run in wizconv-cli-all beside it (no link of its own).
[ -x "$program_dir/wizconv-cli-all" ] || fail "$program_dir/wizconv-cli-all is not an executable file"
for f in dudozava.dll icon.ico sounds/done.wav sounds/fail.wav sounds/default/main.bmp \
  sounds/default/toplogo.png sounds/default/bottom_4.bmp; do
  [ -s "$program_dir/$f" ] || fail "the edition's file $f is not beside the executables"
done

desktop=$root/share/applications/$app_id.desktop
metainfo=$root/share/metainfo/$app_id.metainfo.xml
[ -f "$desktop" ] || fail "no menu entry $desktop"
[ -f "$metainfo" ] || fail "no AppStream metadata $metainfo"

for size in 16 22 24 32 48 64 128 256; do
  icon=$root/share/icons/hicolor/${size}x${size}/apps/$app_id.png
  if [ ! -f "$icon" ]; then
    fail "no ${size}px theme icon"
    continue
  fi
  got=$(identify -format '%m %wx%h' "$icon" 2>&1)
  [ "$got" = "PNG ${size}x${size}" ] || fail "$icon is '$got', not a ${size}x${size} PNG"
  # A drawn mark, not an empty square: some pixels are opaque.
  opaque=$(convert "$icon" -alpha extract -format '%[fx:maxima]' info: 2>&1)
  [ "$opaque" = "1" ] || fail "$icon has no opaque pixel"
done

# ---- The validators: no error, no warning, no hint ----
if [ -f "$desktop" ]; then
  out=$(desktop-file-validate "$desktop" 2>&1)
  rc=$?
  { [ $rc -eq 0 ] && [ -z "$out" ]; } || fail "desktop-file-validate ($rc): $out"

  entry() { sed -n "s/^$1=//p" "$desktop"; }
  case "$(entry Name'\[zh_CN\]')" in
    *[![:ascii:]]*) ;;
    *) fail "the menu entry has no Chinese name" ;;
  esac
  categories=";$(entry Categories)"
  [[ $categories == *";AudioVideo;"* ]] || fail "Categories lacks AudioVideo: $categories"
  [[ $categories == *";Video;"* || $categories == *";Audio;"* ]] ||
    fail "Categories lacks Video or Audio: $categories"
  [ "$(entry Exec)" = "wizconv %F" ] || fail "Exec is '$(entry Exec)', not 'wizconv %F'"
  [ "$(entry Icon)" = "$app_id" ] || fail "Icon is '$(entry Icon)', not the theme icon $app_id"
  mime=";$(entry MimeType)"
  [[ $mime == *";video/mp4;"* && $mime == *";video/x-msvideo;"* && $mime == *";audio/mpeg;"* &&
    $mime == *";audio/flac;"* ]] || fail "MimeType misses common audio and video types: $mime"
fi
if [ -f "$metainfo" ]; then
  out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1)
  [ $? -eq 0 ] || fail "appstreamcli validate: $out"
  [[ $out == *"Validation was successful."* ]] || fail "appstreamcli validate is not clean: $out"
  grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metadata does not launch $app_id.desktop"
fi

# ---- The installed programs, started through their links from another folder ----
run=$work/run
mkdir -p "$run"
cd "$run" || exit 1
if ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=1 \
  -f lavfi -i sine=duration=1 -shortest clip.avi; then
  if "$root/bin/wizconv-cli" convert --format mp4 clip.avi >cli.log 2>&1; then
    streams=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 clip.mp4 | sort | tr '\n' ' ')
    [ "$streams" = "audio video " ] || fail "the installed wizconv-cli wrote '$streams'"
  else
    fail "the installed wizconv-cli did not convert: $(cat cli.log)"
  fi
else
  fail "could not make the fixture"
fi

# The windowed program finds its branding file and icon beside the real executable (else
# it ends at once with a file-open error) and writes its settings on a first run.
home=$run/home
mkdir -p "$home"
HOME=$home XDG_CONFIG_HOME=$home/.config QT_QPA_PLATFORM=offscreen "$root/bin/wizconv" \
  >wizconv.log 2>&1 &
pid=$!
settings=$home/.config/Wizconv/~system2.dat
for _ in $(seq 100); do
  [ -f "$settings" ] && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
if [ -f "$settings" ]; then
  kill -TERM $pid
  wait $pid
  rc=$?
  [ $rc -eq 0 ] || fail "the installed wizconv ended with $rc after SIGTERM"
else
  kill -KILL $pid 2>/dev/null
  wait $pid 2>/dev/null
  fail "the installed wizconv did not start: $(cat wizconv.log)"
fi

if [ $failures -ne 0 ]; then
  echo "$failures failure(s); the tree is in $dest" >&2
  exit 1
fi
rm -rf "$work"
echo "installed tree is complete and valid"
