#!/bin/sh
# Runs the Windows kill test under Wine:  wine-kill-test.sh WINE PROGRAM ARGS...
# A registry editor the program starts at the moment of a kill can be left by
# Wine as a bare process with nothing of Windows behind it, blocked for ever:
# no Windows call reaches it, and it holds the standard error it inherited
# from the test, which ctest would wait for until its time-out. So the
# test's standard error goes through a file, and whatever still holds that
# file once the test has ended is such a process and is ended.
wine=$1
shift
err=$(mktemp) || exit 1
"$wine" "$@" 2>"$err"
status=$?
cat "$err" >&2
for fd in /proc/[0-9]*/fd/2; do
  if [ "$(readlink "$fd" 2>/dev/null)" = "$err" ]; then
    pid=${fd#/proc/}
    kill -KILL "${pid%%/*}" 2>/dev/null
  fi
done
rm -f "$err"
exit $status
