# Sourced by the Win32 check runners: reads the "N passed, N failed" line of
# a check program's output. summary OUTPUT prints the output without that
# line (and without Wine's own "wine: " lines) and sets summary_passed and
# summary_failed; both are empty when the program printed no summary.
summary() {
  echo "$1" | grep -v -e '^[0-9]* passed, [0-9]* failed$' -e '^wine: '
  summary_passed=$(echo "$1" | sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed.*/\1/p' | tail -1)
  summary_failed=$(echo "$1" | sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed.*/\2/p' | tail -1)
}
