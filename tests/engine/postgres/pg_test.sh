#!/bin/bash
# Starts a private PostgreSQL server (a temporary cluster that listens only on
# a Unix socket inside it), then lets orv_pg_compare read the same rows from
# SQLite and from that server through the report's data sets.
# Exits 77 (skipped) only when no server can be started here.
set -u
COMPARE=${1:?usage: pg_test.sh ORV_PG_COMPARE}
. "$(dirname "$0")/pg_server.sh"
pg_start

"$COMPARE" "$T/work" "postgresql://orv@/orvtest?host=$T/sock" \
  "postgresql:///orvtest?host=$T/sock&user=orv&port=5432&application_name=orv-test"
