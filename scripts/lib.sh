# Shared by scripts/test and scripts/run: packages, build, the Wine prefix.
# Sourced, not run.

TESKAPRS_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

TESKAPRS_PACKAGES=(cmake ninja-build g++ g++-mingw-w64-x86-64-posix googletest
  wine64 fonts-wine xvfb xauth xdotool imagemagick python3 netbase
  clang libclang-rt-14-dev nsis osslsigncode openssl iproute2)

say() { printf '== %s\n' "$*"; }

# Installs whatever of the packages above is missing (apt-get, as root).
install_packages() {
  local missing=() p
  for p in "${TESKAPRS_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local cmd=(apt-get install -y -q --no-install-recommends "${missing[@]}")
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them as root:  apt-get update && ${cmd[*]}" >&2
    return 1
  fi
  say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null && "${cmd[@]}" >/dev/null
}

# configure_and_build PRESET: configures once, then builds.
configure_and_build() {
  local preset=$1
  if [ ! -f "$TESKAPRS_ROOT/build/$preset/build.ninja" ]; then
    (cd "$TESKAPRS_ROOT" && cmake --preset "$preset" >/dev/null) || return 1
  fi
  (cd "$TESKAPRS_ROOT" && cmake --build --preset "$preset" -- -k 0) || return 1
}

# The program's version, "FileVersion" of its version resource: the setup
# program is named after it.
program_version() {
  local v
  v=$(sed -n 's/^ *VALUE "FileVersion", "\([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*\)".*/\1/p' \
    "$TESKAPRS_ROOT/res/Teskaprs.rc" | head -n 1)
  [ -n "$v" ] || { echo "no FileVersion a.b.c.d in res/Teskaprs.rc" >&2; return 1; }
  echo "$v"
}

# wine_env PREFIX: the environment every Wine process of ours runs in.
wine_env() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
  export WINEARCH=win64
  # A name lookup that gets no answer gives up after about a second.
  export RES_OPTIONS="timeout:1 attempts:1"
  # File names in any language reach the Linux file system as UTF-8.
  export LC_ALL=C.UTF-8
}

# make_prefix PREFIX null|x11: creates the prefix once, without any dialog.
# "null" is Wine's headless display driver (fast window tests); "x11" draws
# on a real X display (the program, the tray, screenshots).
make_prefix() {
  local prefix=$1 driver=$2
  [ -f "$prefix/.teskaprs-ready" ] && return 0
  say "creating Wine prefix $prefix ($driver display driver)"
  rm -rf "$prefix"
  mkdir -p "$prefix"
  wine_env "$prefix"
  "$WINE64" wineboot -i </dev/null >/dev/null 2>&1
  if [ "$driver" = null ]; then
    "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  fi
  # Without a window manager every hide would wait for one.
  "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  # Wine's own "light" theme draws the version-6 buttons and check boxes in
  # a bold font of its own, where Windows keeps the window's font: the
  # classic look it is.
  "$WINE64" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /d 0 /f \
    </dev/null >/dev/null 2>&1
  # A program that crashes prints its backtrace and ends at once, instead of
  # waiting behind a crash dialog nobody can see (a crashing test would
  # otherwise hang until CTest's time-out).
  "$WINE64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    </dev/null >/dev/null 2>&1
  # Wine does not find its own fonts by itself here: MS Sans Serif, Tahoma, Marlett.
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp -n /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
  "$WINESERVER" -k >/dev/null 2>&1 || true
  touch "$prefix/.teskaprs-ready"
}

# Starts a persistent wineserver and one idle Windows process, so that each
# test starts fast and no helper process holds CTest's output open.
start_wine_session() {
  local keepalive=$1
  "$WINESERVER" -p30 </dev/null >/dev/null 2>&1 || true
  # One program run to its end first: the first start of a session brings
  # up Wine's service processes, and they keep the standard handles of the
  # program that started them. Started from here they hold /dev/null, never
  # the output pipe of a test (CTest would wait for it to close).
  "$WINE64" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  if [ -n "$keepalive" ] && [ -f "$keepalive" ]; then
    "$WINE64" "$keepalive" </dev/null >/dev/null 2>&1 &
    TESKAPRS_KEEPALIVE_PID=$!
  fi
}

stop_wine_session() {
  "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  if [ -n "${TESKAPRS_KEEPALIVE_PID:-}" ]; then
    wait "$TESKAPRS_KEEPALIVE_PID" 2>/dev/null || true
  fi
}
