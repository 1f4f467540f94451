# The check tally of the shell tests: every script records its checks here and
# ends with finish_checks, which prints "N passed, N failed" and gives the exit
# status. Sourced.

failures=0
passes=0

# Records a check: name, expected, actual.
check() {
  if [ "$2" = "$3" ]; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    echo "FAIL $1: expected '$2', got '$3'"
  fi
}

# Records a check that failed for the reason given: name, what happened.
fail() {
  failures=$((failures + 1))
  echo "FAIL $1: $2"
}

# Prints the tally, prefixed with $1 when given, and returns 0 when nothing failed.
finish_checks() {
  echo "${1:+$1: }$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}
