#!/usr/bin/env bash
# The Windows installer in a fresh Wine prefix, as a user meets it: a silent install that puts both
# builds below Program Files and nothing into twain_32 or twain_64; a 64-bit and a 32-bit source
# attached and traced through the Source Manager's search by the session host of their bitness; an
# uninstall refused while a source is attached; detach restoring both folders; the uninstall then.
# Usage: installer_test.sh SETUP.exe SCRATCH HOST64.exe SOURCE64.ds HOST32.exe SOURCE32.ds
# Exit status 0 when every step holds; each failure is said in one line.
set -uo pipefail

setup=$1 scratch=$2 host64=$3 source64=$4 host32=$5 source32=$6
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)  # Wine wants its prefix's path absolute
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all
if ! wineboot -i >/dev/null 2>&1 </dev/null || [ ! -d "$WINEPREFIX/drive_c/windows/system32" ]; then
  echo "FAILED: Wine could not make the prefix $WINEPREFIX (free space: $(df -Ph "$scratch" | awk 'NR == 2 { print $4 }'))"
  exit 1
fi
windows="$WINEPREFIX/drive_c/windows"
installed="$WINEPREFIX/drive_c/Program Files/Tracewell"
mkdir -p "$windows/twain_32" "$windows/twain_64"

# Every file below both TWAIN folders with its size and digest.
folders() { (cd "$windows" && find twain_32 twain_64 -type f -exec md5sum {} + | sort); }
# The command as the installer put it on the PATH, in a new Wine session.
tracewell() {
  wineserver -w
  wine tracewell "$@" </dev/null 2>&1 | tr -d '\r'
}

before_install=$(folders)
wine "$setup" /S </dev/null >/dev/null 2>&1 || fail "the silent install ended with $?"
wineserver -w
for file in bin/tracewell.exe x64/tracewell.ds x64/tracewell-adapter.dll x86/tracewell.ds x86/tracewell-adapter.dll \
            README.md Uninstall.exe; do
  [ -f "$installed/$file" ] || fail "the install lacks $file"
done
[ "$(folders)" = "$before_install" ] || fail "the install changed twain_32 or twain_64"
tracewell --version | grep -q '^tracewell [0-9]' || fail "tracewell is not on the PATH after the install"

mkdir -p "$windows/twain_64/Acmé" "$windows/twain_32/Acmé"
cp "$source64" "$windows/twain_64/Acmé/corvale.ds"
cp "$source32" "$windows/twain_32/Acmé/corvale.ds"
before_attach=$(folders)
tracewell attach 'C:\windows\twain_64\Acmé\corvale.ds' | grep -q '^attached' || fail "the 64-bit source was not attached"
tracewell attach 'C:\windows\twain_32\Acmé\corvale.ds' | grep -q '^attached' || fail "the 32-bit source was not attached"
tracewell on >/dev/null || fail "tracing was not switched on"

# The uninstaller run as at a Windows prompt, where it runs in place (_?=) and its exit status is
# its own; prints that status.
uninstall() {
  wineserver -w
  printf '@echo off\r\n"C:\\Program Files\\Tracewell\\Uninstall.exe" /S _?=C:\\Program Files\\Tracewell\r\necho %%ERRORLEVEL%%\r\n' \
    >"$WINEPREFIX/drive_c/uninstall-tracewell.bat"
  wine cmd /c 'C:\uninstall-tracewell.bat' </dev/null 2>/dev/null | tr -d '\r' | tail -1
}

# host BITS HOST: a session over that bitness's folder, opening the traced source by its name; the
# trace it wrote must be the installed build's, of that ABI.
host() {
  local out
  wineserver -w
  out=$(wine "$2" --twain-dir "C:\\windows\\twain_$1" --source 'Corvale F40' --log-dir 'C:\ProgramData\Tracewell\log' \
        --head 0 </dev/null 2>&1 | tr -d '\r')
  echo "$out" | grep -q "^Source opened: *Corvale F40: C:.windows.twain_$1.tracewell-" ||
    { fail "the $1-bit host did not open the traced source"; echo "$out"; return; }
  # Each load of the source writes its trace: the list's identity question, then the session.
  local traces abi=win64
  [ "$1" = 32 ] && abi=win32
  traces=$(find "$WINEPREFIX/drive_c/ProgramData/Tracewell/log" -name 'Twainlog_*.txt' -newer "$scratch/mark")
  [ -n "$traces" ] || { fail "the $1-bit session left no trace below C:\\ProgramData\\Tracewell\\log"; return; }
  # shellcheck disable=SC2086
  grep -q "TWAIN ABI $abi" $traces || fail "the $1-bit traces are not the $abi build's"
  # shellcheck disable=SC2086
  grep -q 'DG_IMAGE/DAT_IMAGE[A-Z]*XFER' $traces || fail "the $1-bit traces hold no transfer"
  touch "$scratch/mark"
  sleep 1
}
touch "$scratch/mark"
sleep 1
host 64 "$host64"
host 32 "$host32"

status=$(uninstall)
[ "$status" = 3 ] || fail "the uninstall with sources attached ended with ${status:-no status}, not 3"
[ -f "$installed/bin/tracewell.exe" ] || fail "the refused uninstall removed tracewell.exe"

tracewell detach 'C:\windows\twain_64\Acmé\corvale.ds' >/dev/null || fail "the 64-bit source was not detached"
tracewell detach 'C:\windows\twain_32\Acmé\corvale.ds' >/dev/null || fail "the 32-bit source was not detached"
[ "$(folders)" = "$before_attach" ] || fail "detach did not restore twain_32 and twain_64"
status=$(uninstall)
[ "$status" = 0 ] || fail "the uninstall ended with ${status:-no status}"
wineserver -w
for file in bin/tracewell.exe x64/tracewell.ds x86/tracewell.ds; do
  [ ! -e "$installed/$file" ] || fail "the uninstall left $file"
done
wineserver -k
[ "$failures" -eq 0 ] && echo "installer: ok"
[ "$failures" -eq 0 ]
