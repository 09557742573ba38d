#!/usr/bin/env bash
# Checks an installation of Vexlo under PREFIX (a `cmake --install` into a
# scratch folder, or /usr after the .deb was installed) against the build it
# came from:
#   - the GUI's resources lie where the installed program looks for them
#     (PREFIX/bin/../share/vexlo-sd-recovery), with every image the build drew;
#   - the launcher, the AppStream file and the icons are valid and name each
#     other and the installed program;
#   - the man pages render without a warning and, like the bash completion,
#     know every command and option `vexlo-recover --help` names; every type
#     the completion offers is one the program accepts.
# Usage: scripts/check-installed.sh PREFIX BUILD_DIR
set -euo pipefail

prefix=${1:?usage: check-installed.sh PREFIX BUILD_DIR}
build=${2:?usage: check-installed.sh PREFIX BUILD_DIR}
share=$prefix/share
cli=$prefix/bin/vexlo-recover
failures=0

fail() {
  echo "check-installed: $*" >&2
  failures=$((failures + 1))
}

need_file() {
  [ -f "$1" ] || fail "missing $1"
}

# --- the command-line tool --------------------------------------------------
need_file "$cli"
"$cli" --version | grep -q '^vexlo-recover [0-9]' || fail "vexlo-recover --version prints no version"
"$cli" -V | grep -q 'GPL-3.0-or-later' || fail "vexlo-recover -V names no licence"
help_text=$("$cli" --help)

# The commands and, per command, the options the usage lines name (a
# command's line and the more deeply indented lines that continue it).
commands=$(sed -n 's/^  vexlo-recover \([a-z][a-z]*\).*/\1/p' <<<"$help_text" | sort -u)
options_of() {
  awk -v command="$1" '
    /^  vexlo-recover / { on = ($2 == command) }
    !/^  / { on = 0 }
    on' <<<"$help_text" | grep -o -- '--[a-z][a-z-]*' | sort -u
}
[ -n "$commands" ] || fail "vexlo-recover --help names no command"

# --- man pages ----------------------------------------------------------------
check_man_page() {
  local page=$share/man/man1/$1.1.gz warnings
  need_file "$page"
  [ -f "$page" ] || return 0
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page renders with warnings: $warnings"
}
check_man_page vexlo-recover
man_text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$share/man/man1/vexlo-recover.1.gz" 2>/dev/null)
for command in $commands; do
  grep -q "vexlo-recover $command" <<<"$man_text" || fail "the man page lacks the command $command"
  for option in $(options_of "$command"); do
    grep -q -- "$option" <<<"$man_text" || fail "the man page lacks $option of $command"
  done
done

# --- bash completion ------------------------------------------------------
completion=$share/bash-completion/completions/vexlo-recover
need_file "$completion"
# The words the completion offers for the command line "$@", whose last word
# is the one being typed.
completions() {
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$0"
    compopt() { :; } # only meaningful while bash itself completes
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    _vexlo_recover vexlo-recover "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"
  ' "$completion" vexlo-recover "$@" | sort -u
}
if [ ! -f /usr/share/bash-completion/bash_completion ]; then
  fail "bash-completion is not installed; the completion cannot be tried"
elif [ -f "$completion" ]; then
  offered=$(completions "" | grep -v '^-' || true)
  [ "$offered" = "$commands" ] || fail "completion offers commands '$(echo $offered)', --help names '$(echo $commands)'"
  for command in $commands; do
    offered=$(completions "$command" SOURCE -)
    [ "$offered" = "$(options_of "$command")" ] ||
      fail "completion offers '$(echo $offered)' for $command, --help names '$(echo $(options_of "$command"))'"
  done
  offered=$(completions scan SOURCE --mode "")
  [ "$(echo $offered)" = "deep formatted quick" ] || fail "completion offers modes '$(echo $offered)'"
  for type in $(completions scan SOURCE --types ""); do
    status=0
    "$cli" scan /nonexistent/card.img --types "$type" >/dev/null 2>&1 || status=$?
    [ "$status" -ne 2 ] || fail "completion offers --types $type, which vexlo-recover refuses"
  done
  offered=$(completions scan SOURCE --types photo,vi)
  [ "$offered" = "photo,video" ] || fail "completion of a --types list gives '$offered'"
fi

# --- the desktop program ------------------------------------------------------
if [ -x "$build/bin/vexlo-sd-recovery" ]; then
  need_file "$prefix/bin/vexlo-sd-recovery"
  check_man_page vexlo-sd-recovery

  # The program looks for its resources in ../share/vexlo-sd-recovery beside
  # itself; everything the build placed beside the program must be there.
  data=$prefix/bin/../share/vexlo-sd-recovery
  for file in config.ini Languages/English.ini Languages/Deutsch.ini manual.html; do
    need_file "$data/$file"
  done
  while IFS= read -r file; do
    need_file "$data/$file"
  done < <(cd "$build/bin" && find skin FileIcon -type f)

  desktop=$share/applications/org.vexlo.SdRecovery.desktop
  metainfo=$share/metainfo/org.vexlo.SdRecovery.metainfo.xml
  need_file "$desktop"
  need_file "$metainfo"
  report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate rejects $desktop: $report"
  report=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli rejects $metainfo: $report"
  grep -q '^Exec=vexlo-sd-recovery$' "$desktop" || fail "the launcher does not start vexlo-sd-recovery"
  grep -q '<launchable type="desktop-id">org.vexlo.SdRecovery.desktop</launchable>' "$metainfo" ||
    fail "the AppStream file does not name the launcher"

  icon=$(sed -n 's/^Icon=//p' "$desktop")
  for side in 16 22 24 32 48 64 128 256; do
    png=$share/icons/hicolor/${side}x$side/apps/$icon.png
    need_file "$png"
    [ -f "$png" ] || continue
    # Width and height are the big-endian words at bytes 16 and 20 of a PNG.
    size=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')
    [ "$size" = "${side}x$side" ] || fail "$png is $size pixels"
  done
  svg=$share/icons/hicolor/scalable/apps/$icon.svg
  need_file "$svg"
  python3 -c 'import sys, xml.etree.ElementTree as t; sys.exit(not t.parse(sys.argv[1]).getroot().tag.endswith("svg"))' \
    "$svg" || fail "$svg is no SVG"
fi

if [ "$failures" -ne 0 ]; then
  echo "check-installed: $failures problems in $prefix" >&2
  exit 1
fi
echo "check-installed: $prefix is complete"
