#!/usr/bin/env bash
# The setup program and its uninstaller, run silently (/S) in a fresh Wine
# prefix of their own (build/wineprefix-install): install, the installed
# program's window, an upgrade over a running copy (started again after it
# by a setup without administrator rights), a copy that refuses to close,
# uninstalls that remove what was installed and keep the settings, the
# folders the setup takes and refuses, an earlier install in a refused folder
# started at logon by the user's and the machine's Run values (moved out of,
# with and without /D=; left alone without administrator rights), and a
# signed release (scripts/package --sign with a throwaway certificate). Needs dist/Teskaprs-<version>-setup.exe
# (scripts/package) and build/win64/wincheck.exe. Ends with PASS or FAIL and
# the failed checks.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
cd "$TESKAPRS_ROOT"

version=$(program_version) || exit 1
setup=$TESKAPRS_ROOT/dist/Teskaprs-$version-setup.exe
wincheck=$TESKAPRS_ROOT/build/win64/wincheck.exe
[ -f "$setup" ] || { echo "FAIL: $setup is missing: run scripts/package first"; exit 1; }
[ -f "$wincheck" ] || { echo "FAIL: $wincheck is missing: build the win64 preset first"; exit 1; }

prefix=$TESKAPRS_ROOT/build/wineprefix-install
log=$TESKAPRS_ROOT/build/install-test.log
rm -rf "$prefix"
make_prefix "$prefix" null >/dev/null
wine_env "$prefix"
: >"$log"
trap stop_wine_session EXIT
start_wine_session "$TESKAPRS_ROOT/build/win64/keepalive.exe"

user=$(id -un)
win_dir="C:\\users\\$user\\AppData\\Local\\Programs\\Teskaprs"
dir="$prefix/drive_c/users/$user/AppData/Local/Programs/Teskaprs"
shortcut="$prefix/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Teskaprs.lnk"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Teskaprs'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
machine_run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
machine_run32='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Run'
settings_key='HKCU\Software\Teskaprs'

checks=0
failures=()
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  checks=$((checks + 1))
  if "$@" >>"$log" 2>&1; then echo "ok   $what"; else echo "FAIL $what"; failures+=("$what"); fi
}
# Wine's output goes to the log: a helper process Wine starts must not hold
# the test's own output open.
wine() { "$WINE64" "$@" </dev/null >>"$log" 2>&1; }
# reg_value KEY NAME: the data of a value as "reg query" shows it, or nothing.
reg_value() {
  "$WINE64" reg query "$1" /v "$2" </dev/null 2>>"$log" | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *\(.*\)$/\1/p"
}
value_is() { [ "$(reg_value "$1" "$2")" = "$3" ]; }
value_absent() { [ -z "$(reg_value "$1" "$2")" ] && ! wine reg query "$1" /v "$2"; }
key_absent() { ! wine reg query "$1"; }
install() { wine "$setup" /S; }
install_signed() { wine "$signed_setup" /S; }
install_unelevated() { wine build/win64/limited.exe "Z:${setup//\//\\} /S $*"; }  # without the rights Wine gives every program
# /D= takes the rest of the command line, blanks and all: cmd passes it as it stands.
install_at() { wine cmd /c "Z:${setup//\//\\} /S /D=$1"; }
install_unelevated_at() { install_unelevated "/D=$1"; }
exits_with() { local code=$1; shift; "$@"; [ $? -eq "$code" ]; }
# Starts the installed program as Windows would, by its Windows path.
start_program() { "$WINE64" "$win_dir\\teskaprs.exe" </dev/null >>"$log" 2>&1 & }
window_visible() { wine "$wincheck" visible 20000; }
program_gone() { wine "$wincheck" gone 20000; }
# The uninstaller returns before it has finished: it copies itself to a
# temporary folder and works from there.
uninstall() {
  wine "$win_dir\\uninstall.exe" /S || return 1
  local i
  for i in $(seq 1 300); do
    [ ! -e "$dir/teskaprs.exe" ] && [ ! -e "$dir/uninstall.exe" ] && key_absent "$uninstall_key" && return 0
    sleep 0.1
  done
  return 1
}
same_program() { cmp -s "$dir/teskaprs.exe" build/release/teskaprs.exe; }
no_files() { [ ! -e "$dir/teskaprs.exe" ] && [ ! -e "$dir/uninstall.exe" ] && [ ! -e "$dir/LICENSE.txt" ]; }

echo "== first install"
check "silent install succeeds" install
check "program installed" same_program
check "uninstaller installed" test -f "$dir/uninstall.exe"
check "licence and third-party notices installed" \
  eval 'cmp LICENSE "$dir/LICENSE.txt" && cmp THIRD-PARTY-NOTICES.txt "$dir/THIRD-PARTY-NOTICES.txt"'
check "Start-menu shortcut" test -s "$shortcut"
for expected in "DisplayName=Teskaprs" "DisplayVersion=$version" "Publisher=Teskaprs developers" \
  "DisplayIcon=$win_dir\\teskaprs.exe,0" "InstallLocation=$win_dir" \
  "UninstallString=\"$win_dir\\uninstall.exe\"" "QuietUninstallString=\"$win_dir\\uninstall.exe\" /S" \
  "NoModify=0x1" "NoRepair=0x1"; do
  check "uninstall entry $expected" value_is "$uninstall_key" "${expected%%=*}" "${expected#*=}"
done
size_kb=$(reg_value "$uninstall_key" EstimatedSize)
check "uninstall entry EstimatedSize ($size_kb) is the program's size in KB" \
  test $(( size_kb )) -ge $(( $(stat -c %s build/release/teskaprs.exe) / 1024 ))

echo "== the installed program"
# Marked (bytes added at its end, which it still runs with), so that the
# upgrade is seen to replace it.
printf 'old copy' >>"$dir/teskaprs.exe"
start_program
check "installed program shows its window" window_visible

echo "== upgrade while it runs"
# Settings of the user's: a value in the registry, the file beside the
# program, the autostart value as this version writes it (quoted).
wine reg add "$settings_key" /v CallSign /d CW1234 /f
printf 'C:\\Weather\\wxreport.txt,51,30,12.5,Northern' >"$dir/aprsconfig.txt"
cp "$dir/aprsconfig.txt" "$TESKAPRS_ROOT/build/install-test-config.txt"
wine reg add "$run_key" /v Teskaprs /d "\"$win_dir\\teskaprs.exe\"" /f
old_pid=$("$WINE64" "$wincheck" pid </dev/null 2>>"$log" | tr -d '\r')
check "silent install (no administrator rights) over the running copy succeeds" install_unelevated
check "program replaced" same_program
# The copy it closed is started again, now the new program.
check "a running copy again after the upgrade" window_visible
new_pid=$("$WINE64" "$wincheck" pid </dev/null 2>>"$log" | tr -d '\r')
check "the running copy was closed and the new one started ($old_pid, then $new_pid)" \
  test -n "$old_pid" -a -n "$new_pid" -a "$old_pid" != "$new_pid"
check "aprsconfig.txt kept" cmp -s "$dir/aprsconfig.txt" "$TESKAPRS_ROOT/build/install-test-config.txt"
check "registry setting kept" value_is "$settings_key" CallSign CW1234
check "autostart value kept" value_is "$run_key" Teskaprs "\"$win_dir\\teskaprs.exe\""
check "silent install (administrator rights) over the running copy succeeds" install
check "the program is not started again" program_gone

echo "== a copy that does not close"
start_program && window_visible
wine "$wincheck" close
check "the program ends when its window is asked to close" program_gone
"$WINE64" "$wincheck" hold </dev/null >>"$log" 2>&1 &
hold=$!
wine "$wincheck" visible 20000
rm -f "$dir/uninstall.exe"
wine "$setup" /S
status=$?
check "setup stops with exit code 2 (got $status)" test "$status" -eq 2
check "a setup without administrator rights names a copy with them (exit code 3)" exits_with 3 install_unelevated
check "nothing installed meanwhile" test ! -e "$dir/uninstall.exe"
wine "$wincheck" release
wait "$hold"
check "setup runs again once it is gone" install

echo "== uninstall"
# Quoted value of this version: removed.
check "silent uninstall (autostart value quoted)" uninstall
check "autostart value of this copy removed" value_absent "$run_key" Teskaprs
# A value naming another copy: kept.
install
wine reg add "$run_key" /v Teskaprs /d 'C:\Other\teskaprs.exe' /f
check "silent uninstall (autostart value of another copy)" uninstall
check "autostart value of another copy kept" value_is "$run_key" Teskaprs 'C:\Other\teskaprs.exe'
# Unquoted value of earlier versions, while the program runs.
install
wine reg add "$run_key" /v Teskaprs /d "$win_dir\\teskaprs.exe" /f
start_program
window_visible
check "silent uninstall while the program runs" uninstall
# Nor the uninstaller's copy of itself (Un_A.exe, Au_.exe in older NSIS).
check "program closed, no process left" wine "$wincheck" gone 20000 Un_ Au_ uninstall
check "program and uninstaller removed" no_files
check "Start-menu shortcut removed" test ! -e "$shortcut"
check "uninstall entry removed" key_absent "$uninstall_key"
check "autostart value (unquoted) removed" value_absent "$run_key" Teskaprs
check "registry setting kept" value_is "$settings_key" CallSign CW1234
check "aprsconfig.txt kept" cmp -s "$dir/aprsconfig.txt" "$TESKAPRS_ROOT/build/install-test-config.txt"

echo "== where the setup installs"
# Another folder of the user's profile, named in other letter case and
# with a trailing backslash: taken, and found by the next setup.
other_win="C:\\users\\$user\\Tools\\Teskaprs"
other="$prefix/drive_c/users/$user/Tools/Teskaprs"
check "silent install into another folder of the profile" install_at "C:\\USERS\\${user^^}\\Tools\\Teskaprs\\"
printf 'old copy' >>"$other/teskaprs.exe"
check "silent upgrade without /D= goes into the same folder" install
check "the program there replaced" cmp -s "$other/teskaprs.exe" build/release/teskaprs.exe
check "nothing installed in the default folder" test ! -e "$dir/teskaprs.exe"
entry=$(reg_value "$uninstall_key" InstallLocation)
# Refused with exit code 4, nothing written: outside the profile, a folder
# whose name only begins as the profile's does, one that ".." takes out of
# it, and Program Files without administrator rights.
for row in "install_at|C:\\Tesk Elsewhere|drive_c/Tesk Elsewhere" \
  "install_at|C:\\users\\$user\\..\\Tesk Up|drive_c/users/Tesk Up" \
  "install_at|C:\\users\\${user}2\\Teskaprs|drive_c/users/${user}2" \
  "install_unelevated_at|C:\\Program Files\\Teskaprs|drive_c/Program Files/Teskaprs"; do
  IFS='|' read -r how folder made <<<"$row"
  check "$how $folder refused (exit code 4)" exits_with 4 $how "$folder"
  check "nothing written in $folder" test ! -e "$prefix/$made"
done
check "the earlier install's entry untouched ($entry)" value_is "$uninstall_key" InstallLocation "$entry"
pf="$prefix/drive_c/Program Files"
# Named by its short (8.3) name.
pf_short=$("$WINE64" cmd /c 'dir /x C:\' </dev/null 2>>"$log" | tr -d '\r' | sed -n 's/.*<DIR> *\([^ ]*\) *Program Files$/\1/p')
check "silent install under Program Files (administrator rights), as C:\\$pf_short" install_at "C:\\$pf_short\\Teskaprs"
check "the program there" cmp -s "$pf/Teskaprs/teskaprs.exe" build/release/teskaprs.exe
# Wine keeps an access list as Unix permission bits.
check "its folder keeps the access list Program Files gives" test "$(stat -c %a "$pf/Teskaprs")" = "$(stat -c %a "$pf")"

echo "== an earlier install in a folder now refused, started at logon for the user and for every user"
old_win='C:\TeskOld'
old="$prefix/drive_c/TeskOld"
printf 'C:\\Weather\\old.txt,51,30,12.5,Northern' >"$TESKAPRS_ROOT/build/install-test-old-config.txt"
earlier_install() {
  mkdir -p "$old" && cp build/release/teskaprs.exe "$old/teskaprs.exe" && cp build/release/teskaprs.exe "$old/uninstall.exe"
  # Any user may change it there (Wine keeps an access list as Unix permission bits).
  cp "$TESKAPRS_ROOT/build/install-test-old-config.txt" "$old/aprsconfig.txt" && chmod o+w "$old/aprsconfig.txt"
  rm -f "$dir/aprsconfig.txt" "$other/aprsconfig.txt" "$shortcut"
  wine reg add "$uninstall_key" /v InstallLocation /d "$old_win" /f
  # The program part as the program reads it: quoted or not, in any letter case, with either slash.
  wine reg add "$run_key" /v Teskaprs /d 'c:/teskold/TESKAPRS.EXE' /f
  wine reg add "$machine_run32" /v Teskaprs /d "\"$old_win\\teskaprs.exe\" /min" /f
  wine reg add "$machine_run" /v Teskaprs /d " $old_win\\teskaprs.exe" /f
}
earlier_install
check "without administrator rights the setup stops (exit code 5)" exits_with 5 install_unelevated
check "and changes nothing" eval 'cmp -s "$old/teskaprs.exe" build/release/teskaprs.exe && test -e "$old/aprsconfig.txt" &&
  value_is "$run_key" Teskaprs c:/teskold/TESKAPRS.EXE && value_is "$machine_run" Teskaprs "$old_win\\teskaprs.exe"'
# Upgraded into a folder given with /D=, and into the usual folder.
for row in "install_at|$other_win|$other_win|$other" "install||$win_dir|$dir"; do
  IFS='|' read -r how given new_win new <<<"$row"
  earlier_install
  check "$how $given: upgrade succeeds" $how ${given:+"$given"}
  check "the old program, uninstaller and folder are gone" test ! -e "$old"
  check "aprsconfig.txt moved into $new_win" cmp -s "$new/aprsconfig.txt" "$TESKAPRS_ROOT/build/install-test-old-config.txt"
  check "with the access list of its new folder" test -z "$(find "$new/aprsconfig.txt" -perm -o=w)"
  check "the user's Run value starts the new program" value_is "$run_key" Teskaprs "\"$new_win\\teskaprs.exe\""
  check "no Run value of the machine's is left" eval 'value_absent "$machine_run" Teskaprs && value_absent "$machine_run32" Teskaprs'
  check "uninstall entry names $new_win" value_is "$uninstall_key" UninstallString "\"$new_win\\uninstall.exe\""
done
# The earlier folder a link to another: nothing is done through it, but no
# Run value names it any more.
earlier_install && mv "$old" "$old.real" && ln -s "$old.real" "$old"
check "an earlier folder that is a link: upgrade succeeds" install
check "nothing moved or removed through the link" eval 'test -e "$old.real/teskaprs.exe" -a -e "$old.real/aprsconfig.txt"'
check "its Run values name the new program" eval 'value_is "$run_key" Teskaprs "\"$win_dir\\teskaprs.exe\"" &&
  value_absent "$machine_run" Teskaprs'

echo "== a signed release"
# A throwaway certificate, made now; nothing is time-stamped (no network).
signing=$TESKAPRS_ROOT/build/install-test-signing
rm -rf "$signing" && mkdir -p "$signing"
export TESKAPRS_SIGN_PASSWORD="throwaway $$"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Teskaprs test signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$signing/key.pem" -out "$signing/cert.pem" >>"$log" 2>&1
openssl pkcs12 -export -inkey "$signing/key.pem" -in "$signing/cert.pem" -out "$signing/test.pfx" \
  -passout env:TESKAPRS_SIGN_PASSWORD >>"$log" 2>&1
signed_setup=$signing/dist/Teskaprs-$version-setup.exe
verifies() { osslsigncode verify -in "$1" -CAfile "$signing/cert.pem" -ignore-cdp | grep -q '^Signature verification: ok'; }
# makensis records whether the password reached it.
mkdir -p "$signing/bin"
printf '#!/bin/sh\nenv | grep -q TESKAPRS_SIGN_PASSWORD && touch "%s/leaked"\nexec %s "$@"\n' \
  "$signing" "$(command -v makensis)" >"$signing/bin/makensis" && chmod +x "$signing/bin/makensis"
check "scripts/package --sign" env PATH="$signing/bin:$PATH" bash scripts/package --sign "$signing/test.pfx" \
  --out "$signing/dist" --release-url https://example.org/teskaprs/
check "the signing password is in no other command's environment" test ! -e "$signing/leaked"
check "the signed setup's signature verifies" verifies "$signed_setup"
check "the winget manifest names the licence" grep -qx "License: MIT" "$signing/dist/winget/Teskaprs.Teskaprs.locale.en-US.yaml"
check "the signed setup installs" install_signed
check "the installed program's signature verifies" verifies "$dir/teskaprs.exe"
check "without --sign the setup is not signed" exits_with 1 verifies "$setup"
check "nor is the build's own program" exits_with 1 verifies build/release/teskaprs.exe
check "--release-url takes https only" exits_with 2 bash scripts/package --release-url http://example.org/teskaprs/

echo
if [ ${#failures[@]} -eq 0 ]; then
  echo "PASS: installer tests, $checks checks"
  exit 0
fi
echo "FAIL: ${#failures[@]} of $checks installer checks failed (details in $log):"
printf '  %s\n' "${failures[@]}"
exit 1
