#!/usr/bin/env bash
# The registry as installers and clients use it at once: eight registrations started together,
# clients while registrations run, installers killed at random moments, a large registry of
# foreign keys, and a database of another program.
set -u
props=$1
samples=$2
command -v sqlite3 >/dev/null || { echo "FAILED: sqlite3 is needed (scripts/install-deps.sh)"; exit 1; }
work=$(mktemp -d /tmp/quarn-registry-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

# Every key and value of a registry, in one canonical order.
dump() { sqlite3 "$1" "SELECT path, name, type, hex(data) FROM registry ORDER BY 1, 2"; }
sample=$samples/raster-gen3-lossless.qg3

# Eight installers at once: each succeeds or fails cleanly, and the registry is then exactly
# one complete registration.
for mode in machine user; do
    flag=; [ $mode = user ] && flag=--user
    QUARN_REGISTRY=$work/reference-$mode.db "$props" register $flag >/dev/null || fail "register $flag"
    export QUARN_REGISTRY=$work/crowd-$mode.db
    pids=()
    for i in 1 2 3 4 5 6 7 8; do
        "$props" register $flag >"$work/out.$i" 2>&1 &
        pids+=($!)
    done
    for i in "${!pids[@]}"; do
        wait "${pids[$i]}"; status=$?
        [ $status -eq 0 ] && continue
        [ $status -eq 1 ] && grep -q "the registry is unchanged" "$work/out.$((i + 1))" && continue
        fail "concurrent register $flag exited $status: $(cat "$work/out.$((i + 1))")"
    done
    [ "$(dump "$QUARN_REGISTRY")" = "$(dump "$work/reference-$mode.db")" ] ||
        fail "eight registrations $flag did not leave one complete registration"
done

# A client in a loop while registrations run never finds the handler missing.
export QUARN_REGISTRY=$work/busy.db
"$props" register >/dev/null || fail "register"
(for i in 1 2 3 4 5 6; do "$props" register >/dev/null 2>&1; done) &
writer=$!
shows=0
while kill -0 $writer 2>/dev/null; do
    out=$("$props" show "$sample" 2>&1) || fail "show during registrations: $out"
    shows=$((shows + 1))
done
wait $writer || fail "the registrations"
echo "$shows shows during 6 registrations"

# register and unregister killed at random moments leave the whole state before or the whole
# state after, never a part.
export QUARN_REGISTRY=$work/killed.db
"$props" register >/dev/null || fail "register"
registered=$(dump "$QUARN_REGISTRY")
start=$(date +%s%N)
"$props" unregister >/dev/null || fail "unregister"
span=$((($(date +%s%N) - start) / 1000000 + 1))
unregistered=$(dump "$QUARN_REGISTRY")
state=unregistered
before_kill=0; after_kill=0; hot=0
for i in $(seq 1 20); do
    if [ $state = registered ]; then command=unregister; else command=register; fi
    "$props" $command >/dev/null 2>&1 &
    pid=$!
    # Mostly late in the run, where the transaction is.
    ms=$((span / 3 + RANDOM % span))
    sleep "$(printf '%d.%03d' $((ms / 1000)) $((ms % 1000)))"
    kill -9 $pid 2>/dev/null
    wait $pid 2>/dev/null
    [ -e "$QUARN_REGISTRY-journal" ] && hot=$((hot + 1))
    now=$(dump "$QUARN_REGISTRY")
    if [ "$now" = "$registered" ]; then
        [ $state = registered ] && before_kill=$((before_kill + 1)) || after_kill=$((after_kill + 1))
        state=registered
    elif [ "$now" = "$unregistered" ]; then
        [ $state = unregistered ] && before_kill=$((before_kill + 1)) || after_kill=$((after_kill + 1))
        state=unregistered
    else
        fail "kill -9 of $command left a partial registry"
    fi
done
echo "20 kills: $before_kill left the state before, $after_kill the state after, $hot during a write"

# A large registry of foreign keys (over 100 MB) answers as a small one does.
export QUARN_REGISTRY=$work/large.db
"$props" register >/dev/null || fail "register"
sqlite3 "$QUARN_REGISTRY" "
    INSERT INTO keys (parent, name)
        WITH RECURSIVE n (i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 250000),
        clsid (id) AS (SELECT k3.id FROM keys k1 JOIN keys k2 ON k2.parent = k1.id
                       JOIN keys k3 ON k3.parent = k2.id
                       WHERE k1.parent = 1 AND k1.name = 'Software' AND k2.name = 'Classes'
                       AND k3.name = 'CLSID')
        SELECT clsid.id, printf('{%08X-0000-4000-8000-%012X}', i, i) FROM n, clsid;
    INSERT INTO key_values (key, name, type, data)
        SELECT id, '', 1, randomblob(360) FROM keys WHERE name LIKE '{%-0000-4000-8000-%}';" ||
    fail "filling the large registry"
size=$(stat -c %s "$QUARN_REGISTRY")
[ "$size" -gt 100000000 ] || fail "the large registry has only $size bytes"
out=$("$props" show "$sample") || fail "show on the large registry: $out"
echo "$out" | grep -q $'\tQG3 Raster\tLossless$' || fail "show on the large registry: $out"
echo "show on a registry of $size bytes"

# A database of another program is refused and left as it was.
export QUARN_REGISTRY=$work/foreign.db
sqlite3 "$QUARN_REGISTRY" "CREATE TABLE notes (text); INSERT INTO notes VALUES ('mine');"
sum=$(sha1sum <"$QUARN_REGISTRY")
"$props" register >/dev/null 2>&1; status=$?
[ $status -eq 1 ] || fail "register on a foreign database exits 1 (got $status)"
[ "$(sha1sum <"$QUARN_REGISTRY")" = "$sum" ] || fail "the foreign database was changed"
echo "1 passed, 0 failed"
