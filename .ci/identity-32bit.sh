#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The identity switch (platform/linux/useridentity.cpp) compiled for i386, where the kernel's
# plain setfsuid, setfsgid and setgroups take 16-bit ids: the file's static assertions prove
# that the calls it makes take 32-bit ids there, and its #error that it knows the architecture.
# A compile only: the kernels this runs on need not run 32-bit programs.
set -euo pipefail
cd "$(dirname "$0")/.."
g++ -m32 -std=c++20 -Wall -Wextra -Werror -I. -c platform/linux/useridentity.cpp -o /dev/null
echo "identity-32bit: useridentity.cpp compiles for i386 with 32-bit ids"
