#!/usr/bin/env bash
# The Samba domain controller of the tests is tests/support/samba_dc.sh; this
# name is kept for the benchmark scripts that start it.
exec bash "$(dirname "$0")/../support/samba_dc.sh" "$@"
