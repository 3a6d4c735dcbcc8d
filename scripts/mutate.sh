#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Hand-written mutation testing: deliberate faults, one at a time, and
# whether any test fails with each ("killed") or none does ("survived").
#
#   scripts/mutate.sh MUTANTS [RESULTS]
#
# MUTANTS holds one mutant per line, fields separated by TABs:
#
#   id  file  nth  from  to  note
#
# `from` is an exact piece of text in `file` (relative to the repository),
# replaced by `to`; "<nl>" in either stands for a newline, "<empty>" for
# nothing. `nth` picks the occurrence (1, 2, ...); 0 means `from` must occur
# exactly once. Lines that are empty or start with "#" are skipped. A mutant
# is one of three shapes, told from its text:
#
#   if (COND) ...      `from` and `to` start with "if (" or "} else if (" and
#                      differ only in the condition;
#   statements;        `from` ends with ";" (`to` may be "<empty>": dropped);
#   an expression      anything else (a flag set, a comparison, a call);
#   <raw>TEXT          `to` written out as the schema itself, spruceMutant("ID")
#                      and all (where a choice needs a declaration changed).
#
# All mutants are compiled into one build (a mutant schema): each site
# chooses between the original and the mutant at run time by the
# SPRUCE_MUTANT environment variable, so the whole round costs one build,
# made in a build folder of its own (build-mutants) under the shared build
# lock. The sources are restored right after; the build keeps its copy.
#
# Then, for each mutant, the core tests run, and the command-line tests when
# the core tests all pass, each test in a process of its own as ctest runs
# them, two at a time, stopping at the first failure. They run in a private
# mount namespace where /usr, /var, the homes and /work are read-only, so a
# mutant that breaks a safety check cannot delete anything outside the
# tests' temporary folders (needs root). The unmutated build runs first and
# must pass.
#
# RESULTS (default: MUTANTS with ".results") gets one TAB-separated line per
# mutant: id, file, status (killed, survived, or nomatch: `from` not found
# as asked, not counted), the first failing test, note.
#
# MUTATE_ONLY=REGEX keeps the mutants whose id matches; MUTATE_FILTER=PATTERN
# runs only the tests a gtest filter selects (to confirm that new tests kill
# what they were written for, quickly); MUTATE_CHECK=1 builds
# the schema and stops (to see that every mutant applies and compiles);
# MUTATE_NOBUILD=1 reuses build-mutants as it is. The mutated files must have
# no uncommitted changes, and the working tree must stay as it is until the
# round ends: the tests read their fixtures from it.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

mutants="${1:?usage: scripts/mutate.sh MUTANTS [RESULTS]}"
results="${2:-$mutants.results}"
mutBuild=build-mutants
lock=/tmp/spruce-build.lock
only="${MUTATE_ONLY:-}"
testTimeout=120

[ -f "$mutants" ] || { echo "no such file: $mutants" >&2; exit 2; }
[ "$(id -u)" = 0 ] || { echo "needs root for its mount namespace" >&2; exit 2; }

# The mutants to run, one TAB-separated line each.
list=$(grep -v '^\(#\|$\)' "$mutants" | while IFS= read -r line; do
    id=${line%%$'\t'*}
    { [ -z "$only" ] || [[ "$id" =~ $only ]]; } && printf '%s\n' "$line"
done)
[ -n "$list" ] || { echo "no mutants selected" >&2; exit 2; }
files=$(cut -f2 <<<"$list" | sort -u)
for file in $files; do
    git diff --quiet -- "$file" || { echo "$file has changes of its own; commit or stash them first" >&2; exit 2; }
done
work=$(mktemp -d /tmp/spruce-mutate-XXXXXX)

# Writes the schema of one mutant into its file; prints "nomatch" when its
# text is not there as asked.
applyMutant() { # applyMutant ID FILE NTH FROM TO
    MUT_ID="$1" MUT_NTH="$3" MUT_FROM="$4" MUT_TO="$5" perl -e '
        my ($file) = @ARGV;
        my ($id, $nth, $from, $to) = @ENV{qw(MUT_ID MUT_NTH MUT_FROM MUT_TO)};
        s/<nl>/\n/g for ($from, $to);
        $to = "" if $to eq "<empty>";
        open(my $in, "<", $file) or die "$file: $!";
        local $/;
        my $text = <$in>;
        close($in);
        # The condition of an "if (" at the start of $s: (prefix, condition, rest).
        sub splitIf {
            my ($s) = @_;
            $s =~ /^(\s*(?:\}\s*else\s+)?if\s*\()/ or return;
            my ($prefix, $depth, $i) = ($1, 1, length($1));
            for (; $i < length($s) && $depth > 0; ++$i) {
                my $c = substr($s, $i, 1);
                $depth += $c eq "(" ? 1 : $c eq ")" ? -1 : 0;
            }
            return if $depth != 0;
            return ($prefix, substr($s, length($prefix), $i - 1 - length($prefix)), substr($s, $i - 1));
        }
        my $chosen = "spruceMutant(\"$id\")";
        my $schema;
        my @f = splitIf($from);
        my @t = splitIf($to);
        (my $trimmed = $from) =~ s/^\s+|\s+$//g;
        (my $trimmedTo = $to) =~ s/^\s+|\s+$//g;
        if ($to =~ s/^<raw>//) {
            $schema = $to; # written out by hand, spruceMutant("ID") and all
        } elsif (@f && @t && $f[0] eq $t[0] && $f[2] eq $t[2]) {
            $schema = "$f[0]$chosen ? static_cast<bool>($t[1]) : static_cast<bool>($f[1])$f[2]";
        } elsif ($trimmed =~ /;$/) {
            $from = $trimmed;
            $schema = "if ($chosen) { $trimmedTo } else { $trimmed }";
        } elsif ($trimmedTo eq "true" || $trimmedTo eq "false") {
            $schema = "($chosen ? $trimmedTo : static_cast<bool>($from))"; # a check dropped or forced
        } else {
            $schema = "($chosen ? ($to) : ($from))";
        }
        my $count = () = $text =~ /\Q$from\E/g;
        if (($nth == 0 && $count != 1) || $nth > $count || $count == 0) {
            print "nomatch ($count found)\n";
            exit 0;
        }
        my $k = 0;
        $text =~ s/\Q$from\E/++$k == ($nth || 1) ? $schema : $&/ge;
        unless ($text =~ /spruceMutantChosen/) {
            $text = "#include <cstdlib>\n#include <cstring>\n"
                . "namespace {\n"
                . "[[maybe_unused]] bool spruceMutant(const char *id)\n{\n"
                . "    static const char *const spruceMutantChosen = std::getenv(\"SPRUCE_MUTANT\");\n"
                . "    return spruceMutantChosen != nullptr && std::strcmp(spruceMutantChosen, id) == 0;\n"
                . "}\n} // namespace\n" . $text;
        }
        open(my $out, ">", $file) or die "$file: $!";
        print $out $text;
        close($out) or die "$file: $!";
    ' "$2"
}

# --- the schema build -------------------------------------------------------
: >"$work/nomatch"
if [ "${MUTATE_NOBUILD:-0}" != 1 ]; then
    exec 9>"$lock"
    flock 9
    while IFS=$'\t' read -r id file nth from to note; do
        said=$(applyMutant "$id" "$file" "$nth" "$from" "$to")
        [ -z "$said" ] || printf '%s\t%s\n' "$id" "$said" >>"$work/nomatch"
    done <<<"$list"
    built=0
    { cmake -S . -B "$mutBuild" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPRUCE_BUILD_GUI=OFF -DSPRUCE_BUILD_BENCH=OFF \
        && nice -n 10 cmake --build "$mutBuild" -j2 --target core_tests cli_tests spruce-cli; } >"$work/build.log" 2>&1 \
        && built=1
    mkdir -p "$work/schema"
    for file in $files; do
        cp "$file" "$work/schema/$(tr / _ <<<"$file")"
        git checkout -q -- "$file"
    done
    exec 9>&-
    if [ "$built" != 1 ]; then
        echo "the schema does not build; see $work/build.log and $work/schema" >&2
        exit 1
    fi
fi
if [ "${MUTATE_CHECK:-0}" = 1 ]; then
    cat "$work/nomatch"
    echo "the schema builds (files in $work/schema)"
    exit 0
fi

# --- the tests ----------------------------------------------------------------
runTests() { # runTests MUTANT BINARY LOG: 0 when every test of the gtest BINARY passed; failures go to LOG
    SPRUCE_MUTANT="$1" MUTATE_FILTER="${MUTATE_FILTER:-}" unshare -m --propagation private bash -c '
        set -e
        for d in /usr /opt /root /home /var /srv /boot /work; do
            [ -d "$d" ] && [ ! -L "$d" ] || continue
            mount --bind "$d" "$d" && mount -o remount,bind,ro "$d"
        done
        cd "$PWD" # a working folder on the read-only mounts
        bin=$1 log=$2
        [ -n "$SPRUCE_MUTANT" ] || unset SPRUCE_MUTANT
        "$bin" --gtest_list_tests ${MUTATE_FILTER:+"--gtest_filter=$MUTATE_FILTER"} | awk "/^[^ ]/ { suite = \$1; next } { print suite \$1 }" \
            | nice -n 10 xargs -d "\n" -P 2 -n 1 bash -c "
                out=\$(timeout '"$testTimeout"' \"$bin\" --gtest_filter=\"\$1\" 2>&1) && exit 0
                printf \"FAILED %s\\n%s\\n\" \"\$1\" \"\$out\" >>\"$log\"
                exit 255" test' sandbox "$2" "$3" >"$3.out" 2>&1
}

# runMutant ID: "killed TEST" or "survived"; "error" when the tests could not run.
runMutant() {
    local id="$1" file="${2:-}" n=0 binary binaries=("$root/$mutBuild/tests/core_tests" "$root/$mutBuild/tests/cli_tests")
    case "$file" in src/cli/*) binaries=("$root/$mutBuild/tests/cli_tests") ;; esac # the core does not change
    for binary in "${binaries[@]}"; do
        n=$((n + 1))
        if ! runTests "$id" "$binary" "$work/$id.$n.log"; then
            if grep -q '^FAILED' "$work/$id.$n.log" 2>/dev/null; then
                echo "killed $(grep -m1 '^FAILED' "$work/$id.$n.log" | cut -d' ' -f2)"
            else
                echo "error"
            fi
            return
        fi
    done
    echo survived
}

base=$(runMutant "")
if [ "$base" != survived ]; then
    echo "the unmutated build fails its tests ($base); see $work" >&2
    exit 1
fi
: >"$results"
killed=0
survived=0
while IFS=$'\t' read -r id file nth from to note; do
    if grep -q "^$id"$'\t' "$work/nomatch"; then
        outcome=nomatch
    else
        outcome=$(runMutant "$id" "$file")
    fi
    status=${outcome%% *}
    failure=""
    [ "$status" = "$outcome" ] || failure=${outcome#* }
    case "$status" in killed) killed=$((killed + 1)) ;; survived) survived=$((survived + 1)) ;; esac
    printf '%s\t%s\t%s\t%s\t%s\n' "$id" "$file" "$status" "$failure" "$note" | tee -a "$results"
done <<<"$list"
echo "killed $killed of $((killed + survived)) (logs in $work)" | tee -a "$results"
