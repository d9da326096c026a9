#!/usr/bin/env bash
# Builds the plug-in example installer and runs it silently: it takes and gives back its lock
# and logs the drive type of its target.
#   run_plugin_example.sh WINE_RUN PREFIX MAKENSIS PLUGINS NSI WORK_DIR
set -euo pipefail
wine_run=$1 prefix=$2 makensis=$3 plugins=$4 nsi=$5 work=$6
"$makensis" -V2 "-DPLUGINS=$plugins" "-DOUTFILE=$work/example.exe" "$nsi"
log="$prefix/drive_c/users/$(whoami)/Temp/Example/setup.log"
rm -f "$log"
"$wine_run" "$prefix" "$work/example.exe" /S
got=$(tr -d '\r' <"$log")
[ "$got" == "drive type 3, program running: false" ] || { echo "FAIL: log says: $got"; exit 1; }
echo "example installer ran: $got"
