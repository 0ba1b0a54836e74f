#!/bin/sh
# The sources speak of this program only: what it does and why, never where
# a behaviour came from. Lists the lines that break this; fails if any.
root=${1:?source folder}
if grep -rIniE --exclude-dir=.git --exclude-dir='build*' --exclude=words.sh \
    'original[[:space:]]+program' "$root"; then
  exit 1
fi
exit 0
