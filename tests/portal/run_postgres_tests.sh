#!/usr/bin/env bash
# Runs the portal's tests against a real PostgreSQL 15 server: pg_virtualenv (Debian's
# postgresql-common) creates a temporary cluster, exports its connection in the PG*
# variables, runs the tests and removes the cluster again; then, in a cluster of their own,
# two `pingel-portal serve` processes on one database must act as one portal
# (tests/portal/two_portals.py). Works as root or as a user.
# Usage: tests/portal/run_postgres_tests.sh [BUILD_DIR] [gtest options...]
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/dev}"
shift || true
binary="$build/tests/portal/pingel_portal_tests"
if [ ! -x "$binary" ]; then
  echo "no $binary: build the target pingel_portal_tests first" >&2
  exit 1
fi
if ! command -v pg_virtualenv >/dev/null 2>&1; then
  echo "pg_virtualenv is missing: apt-get install postgresql" >&2
  exit 1
fi
# "postgresql://" alone takes host, port, user, password and database from the PG*
# variables that pg_virtualenv sets.
pg_virtualenv -v 15 env PINGEL_PORTAL_TEST_POSTGRES=postgresql:// "$binary" "$@"
if [ $# -eq 0 ]; then
  pg_virtualenv -v 15 /usr/bin/python3 tests/portal/two_portals.py "$build/portal/pingel-portal"
fi
