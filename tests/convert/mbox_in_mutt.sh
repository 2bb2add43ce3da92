#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The export in mutt's index, as a member would open it: an author or subject written to break
# a header (line breaks, a NUL, an escape sequence, a break as a reference) shows on one line,
# with a space where the break was.
#   mbox_in_mutt.sh VELTRA_KB VELTRA_DEMOGEN
set -euo pipefail
program=$1 demogen=$2
work=$(mktemp -d)
session="veltra-mutt-$$"
trap 'tmux kill-session -t "$session" 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
"$demogen" --messages 20 --seed 1 --database veltra.mdb >/dev/null
python3 - <<'PY'
import sqlite3
db = sqlite3.connect('veltra.mdb')
hostile = [
    ('Evil\r\nBcc: injected@evil.example', 'Hi\r\nBcc: injected@evil.example'),
    ('Nul\x00 Person <nul@example.org>', 'cut\x00 short\x01\x1b[1m bold\x7f'),
    ('Tab\tand\nline <t@example.org>', 'tab\there\rand\u2028there\x85'),
    ('Ref&#13;&#10;Bcc: r@evil.example', 'Nuts &amp; bolts&#10;Bcc: r@evil.example'),
    ('J\u00fcrgen\r\nM\u00fcller <j@example.org>', 'Gr\u00f6\u00dfe\r\n\tzweite Zeile'),
]
rowids = [r[0] for r in db.execute('SELECT rowid FROM veltra ORDER BY rowid LIMIT ?', (len(hostile),))]
for rowid, (author, title) in zip(rowids, hostile):
    db.execute('UPDATE veltra SET messauthor = ?, messtitle = ? WHERE rowid = ?', (author, title, rowid))
db.commit()
PY
"$program" --export-mbox out.mbox >/dev/null
mkdir -p Mail
# A wide index, the mailbox's own order, nothing read from the user's setup.
tmux new-session -d -s "$session" -x 200 -y 12 \
    "env HOME=$work LANG=C.UTF-8 TERM=xterm mutt -n -F /dev/null -R -f $work/out.mbox \
     -e 'set sort=mailbox-order' -e 'set index_format=\"%4C|%-40.40F|%s\"'"
screen=""
for _ in $(seq 100); do
    screen=$(tmux capture-pane -p -t "$session" 2>/dev/null || true)
    grep -q "Mutt: out.mbox" <<<"$screen" && break
    sleep 0.1
done
failed=0
expect() {
    if grep -qxF -- "$1" <<<"$(sed 's/ *$//' <<<"$screen")"; then
        echo "one line: $1"
    else
        echo "FAIL: no index line reads: $1"
        failed=1
    fi
}
expect '   1|Evil Bcc: injected@evil.example         |Hi Bcc: injected@evil.example'
expect '   2|Nul Person                              |cut short[1m bold'
expect '   3|Tab and line                            |tab here and there'
expect '   4|Ref Bcc: r@evil.example                 |Nuts & bolts Bcc: r@evil.example'
expect "   5|Jürgen Müller                           |Größe zweite Zeile"
if [ "$failed" -ne 0 ]; then
    echo "mutt showed:"
    echo "$screen"
    echo "0 passed, 1 failed"
    exit 1
fi
echo "1 passed, 0 failed"
