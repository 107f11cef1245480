# What the scripts' tests share, sourced by them.
#
# expect <case> <exit: 0 or 1> <text the output holds> <command...>: runs the command (in a
# subshell), prints "ok: <case>" or the failure with the command's output, and counts the
# failures in `failures`.
failures=0
expect() {
    local name=$1 want=$2 text=$3 out rc
    shift 3
    out=$("$@" 2>&1)
    rc=$?
    [ "$rc" -ne 0 ] && rc=1
    if [ "$rc" != "$want" ] || [[ "$out" != *"$text"* ]]; then
        echo "FAILED: $name: exit $rc (wanted $want), output lacks \"$text\":"
        echo "$out" | sed 's/^/    /'
        failures=$((failures + 1))
    else
        echo "ok: $name"
    fi
}
