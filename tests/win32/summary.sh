# Sourced by the Win32 check runners.
#
# summary reads the "N passed, N failed" line of
# a check program's output. summary OUTPUT prints the output without that
# line (and without Wine's own "wine: " lines) and sets summary_passed and
# summary_failed; both are empty when the program printed no summary.
summary() {
  echo "$1" | grep -v -e '^[0-9]* passed, [0-9]* failed$' -e '^wine: '
  summary_passed=$(echo "$1" | sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed.*/\1/p' | tail -1)
  summary_failed=$(echo "$1" | sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed.*/\2/p' | tail -1)
}

# ja_locale SCRATCH: makes sure the locale ja_JP.UTF-8 exists (Wine takes its
# code page and the mapping of Japanese file names from it), generating it
# under SCRATCH when the system lacks it. Exits with a failed summary when it
# cannot.
ja_locale() {
  locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && return 0
  mkdir -p "$1/locale"
  if localedef -i ja_JP -f UTF-8 "$1/locale/ja_JP.UTF-8" >/dev/null 2>&1; then
    export LOCPATH=$1/locale
  else
    echo "FAIL: the locale ja_JP.UTF-8 is missing and localedef cannot make it: install locales"
    echo "0 passed, 1 failed"
    exit 1
  fi
}
