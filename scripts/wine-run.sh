#!/usr/bin/env bash
# Runs a Windows program under Wine with the caller's prefix and display (CTest's emulator).
exec wine "$@"
