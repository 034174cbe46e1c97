#!/usr/bin/env bash
# Stands in for the program runner of a build whose programs this machine
# cannot execute: prints why the test was not run and exits 77, which the
# build's tests report as skipped.
# Usage: not-run.sh reason program [arguments...]
echo "not run: $1"
exit 77
