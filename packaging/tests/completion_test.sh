#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the bash completion of spruce-cli line by line.
# Usage: completion_test.sh SPRUCE_CLI RESOURCES_DIR
set -uo pipefail
cli=$1
resources=$2
# shellcheck source=../bash-completion/spruce-cli
source "$(dirname "$0")/../bash-completion/spruce-cli"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/dir-a" "$scratch/dir-b"
touch "$scratch/file-a"

failures=0
# expect LINE EXPECTED...: completes LINE (the cursor at its end) and compares
# the sorted candidates with EXPECTED.
expect()
{
    local line=$1
    shift
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_WORDS[0]=$cli
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _spruce_cli
    local got want
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    want=$(printf '%s\n' "$@" | sort | xargs)
    if [[ $got != "$want" ]]; then
        echo "FAIL: '$line'"
        echo "   got:  $got"
        echo "   want: $want"
        failures=$((failures + 1))
    fi
}

globals=(--catalogue --resources --home --sysroot --tools --json --no-progress --stats --help --version)
expect "spruce-cli " modules scan clean size monitor processes volumes keep
expect "spruce-cli s" scan size
expect "spruce-cli --" "${globals[@]}"
expect "spruce-cli --no" --no-progress
expect "spruce-cli scan " 1 2 3 5 systemJunk applicationJunk largeAndOldFile system
expect "spruce-cli --json scan la" largeAndOldFile
expect "spruce-cli --home $scratch/ scan a" applicationJunk
expect "spruce-cli scan --" --files "${globals[@]}"
expect "spruce-cli clean sys" systemJunk system
expect "spruce-cli clean systemJunk " # the module is given: nothing but options
expect "spruce-cli clean systemJunk --d" --dry-run
expect "spruce-cli --resources $resources clean systemJunk --category " 0 1 2 3 4 5 6 7
expect "spruce-cli --resources $resources clean 3 --category 1 --category " 0 1 2 3
expect "spruce-cli --resources $resources --sysroot $scratch clean system --category " 0 1 2 3 4 5
expect "spruce-cli --resources $resources clean noSuchModule --category "
expect "spruce-cli monitor --" --watch --no-wait "${globals[@]}"
expect "spruce-cli clean 3 --tr" --trash
expect "spruce-cli keep " add remove list
expect "spruce-cli keep add $scratch/f" "$scratch/file-a"
expect "spruce-cli monitor --watch "
expect "spruce-cli --home $scratch/dir" "$scratch/dir-a" "$scratch/dir-b"
expect "spruce-cli size $scratch/f" "$scratch/file-a"
expect "spruce-cli clean 1 --path $scratch/file" "$scratch/file-a"
expect "spruce-cli volumes " # no arguments

if ((failures > 0)); then
    echo "$failures completion case(s) failed"
    exit 1
fi
echo "all completion cases passed"
