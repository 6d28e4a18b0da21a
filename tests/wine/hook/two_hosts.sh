#!/usr/bin/env bash
# Both bitnesses on one desktop: the x64 and the x86 resident host, started by
# scripts/hosts, with the IME side (imedemo.exe) as a 64-bit and a 32-bit
# program. Each row starts its hosts in order (ARCH, :desktop with
# --desktop-wide, :alone the x64 host without its x86 companion), runs its
# programs (64,32: both at once) and checks each:
#   served    every step right (exit 0)
#   unserved  the steps not served, the program ran to its end (exit 1) and
#             both editors kept their text
#   safe      served or unserved: no crash, no text lost. Under Wine a
#             desktop-wide hook of the other bitness heads the chain with
#             both hosts in, and which bitness is served is Wine's affair.
# Then the x64 host's companion: started again when killed, ended by --stop;
# and the bad situations: a DLL of the wrong bitness beside a host, and the
# demo with a host already running.
# Usage: two_hosts.sh SOURCE-DIR X64-BUILD X86-BUILD OUT-DIR
set -uo pipefail
src=$1 out=$4
export RODAVOZI_BUILD_X64=$2 RODAVOZI_BUILD_X86=$3 RODAVOZI_LOCALE=ja_JP.UTF-8
declare -A build=([64]=$2 [32]=$3)
rows='
# hosts, in start order   program   expect
x64:desktop:alone               64        served
x86:desktop                     32        served
x64:desktop:alone               32        unserved
x86:desktop                     64        unserved
x64:desktop:alone,x86:desktop   64        safe
x64:desktop:alone,x86:desktop   32        safe
x64:alone,x86                   64,32     served
x64                             64,32     served
'
sentence='日本語の文章を変換して、意味を確かめる。'
fail=0
check() {  # <what> <command...>
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}
hosts() { "$src/scripts/hosts" "$@"; }
stop_all() { local a; for a in x64 x86; do hosts stop $a; done; }

mkdir -p "$out"
stop_all
while read -r list bits expect; do
    [[ -z $list || $list == \#* ]] && continue
    row="hosts $list, $bits-bit program"
    tag=${list//[,:]/-} wait=0
    [[ $list != *desktop* ]] && wait=1000  # the user's first key presses, before the IME asks
    for host in ${list//,/ }; do
        arch=${host%%:*}
        check "$row: the $arch host starts" hosts start "$arch" "$out/$tag-host-$arch.txt" \
            $([[ $host == *:desktop* ]] && echo --desktop-wide) $([[ $host == *:alone* ]] && echo --no-companion)
    done
    for b in ${bits//,/ }; do
        { "$src/scripts/wine-run" "${build[$b]}/tools-bin/imedemo.exe" --focus-wait $wait </dev/null 2>&1 |
            tr -d '\r' >"$out/$tag-$b.txt"; echo "${PIPESTATUS[0]}" >"$out/$tag-$b.code"; } &
    done
    wait
    for b in ${bits//,/ }; do
        log=$out/$tag-$b.txt code=$(cat "$out/$tag-$b.code")
        intact=0
        grep -q '^demo result: WRONG' "$log" && grep -q '(the same as before the steps)$' "$log" &&
            grep -qxF "final text of the Unicode EDIT: \"$sentence\"" "$log" && intact=1
        case $expect in
            served) check "$row: served (exit $code; $log)" test "$code" -eq 0 ;;
            unserved) check "$row: not served, ran to its end, text kept (exit $code; $log)" \
                test "$code" -eq 1 -a "$intact" -eq 1 ;;
            safe) check "$row: served, or not served with the text kept (exit $code; $log)" \
                test "$code" -eq 0 -o "$code" -eq 1 -a "$intact" -eq 1 ;;
        esac
    done
    # A focus-scoped host names a program of the other bitness that it leaves to the other host.
    [[ $list == x64:alone,* && $bits == *32* ]] && check "$row: the x64 host says why it leaves the 32-bit program" \
        grep -q "imedemo.exe (process [0-9]*) is a 32-bit program" "$out/$tag-host-x64.txt"
    stop_all
    check "$row: no host left" test "$(hosts running)" = none
done <<<"$rows"

# One program for both: the x64 host's companion comes back when killed (it
# says so), and --stop of the x64 host ends both.
companion() { sed -n 's/^started the 32-bit host .* (process \([0-9]*\))\.\r*$/\1/p' "$out/companion.txt"; }
hosts start x64 "$out/companion.txt"
first=$(companion)
check "the x64 host starts its companion" test -n "$first" -a "$(hosts running)" = "x64 x86"
"$src/scripts/wine-run" taskkill.exe /f /pid "$first" >/dev/null 2>&1
for ((i = 0; i < 50; i++)); do [[ $(companion | wc -l) == 2 && $(hosts running) == "x64 x86" ]] && break; done
check "a killed companion is started again (its window is up), and the host says so" \
    test "$(companion | wc -l)" -eq 2 -a "$(hosts running)" = "x64 x86" -a -n "$(grep -aE '\(1 of 3\)|1/3' "$out/companion.txt")"
hosts stop x64
check "--stop of the x64 host ends its companion too" test "$(hosts running)" = none

# A DLL of the other bitness beside each host: exit 2, and the message says so.
declare -A dir=([x64]=$2 [x86]=$3) other=([x64]=x86 [x86]=x64)
for arch in x64 x86; do
    host=$out/wrong-dll-$arch
    rm -rf "$host" && mkdir -p "$host"
    cp "${dir[$arch]}/tools-bin/reconvhost.exe" "${dir[${other[$arch]}]}/tools-bin/RODAVOZI.DLL" "$host/"
    message=$(RODAVOZI_LOCALE=en_US.UTF-8 "$src/scripts/wine-run" "$host/reconvhost.exe" --quiet 2>&1 </dev/null | tr -d '\r')
    code=${PIPESTATUS[0]}
    why=0
    [[ $message == *"DLL of the other architecture"* ]] && why=1
    check "the $arch host beside an ${other[$arch]} DLL: exit 2 (was $code), and why" test "$code" -eq 2 -a $why -eq 1
done

# The demo with a host already running: it refuses (exit 3) and says so.
hosts start x86
"$src/scripts/demo" --no-build --out "$out/demo" >"$out/demo.log" 2>&1
code=$?
check "the demo with an x86 host running: exit 3 (was $code), and why" \
    test "$code" -eq 3 -a -n "$(grep 'already running' "$out/demo.log")"
stop_all
exit $fail
