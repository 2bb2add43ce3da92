#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The export as another mail program reads it: `veltra-kb --export-mbox` in a folder whose
archive the demo generator wrote (with hard cases written into some messages), read back
with Python's mailbox module. Same count and order, numbers, subjects and authors (their
references decoded); each body's text holds the message's words. Then an archive of no messages.

    mbox_readback.py VELTRA_KB VELTRA_DEMOGEN
"""
import email.policy
import html
import mailbox
import os
import re
import sqlite3
import subprocess
import sys
import tempfile
from email.utils import parseaddr

program, demogen = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def export(folder, target):
    run = subprocess.run([program, '--export-mbox', target], cwd=folder, capture_output=True, text=True)
    check(run.returncode == 0, 'export failed: %s' % run.stderr)
    return run.stdout.strip()


def read_back(path):
    box = mailbox.mbox(path, factory=lambda f: email.message_from_binary_file(f, policy=email.policy.default),
                       create=False)
    return list(box)


with tempfile.TemporaryDirectory() as folder:
    database = os.path.join(folder, 'veltra.mdb')
    subprocess.run([demogen, '--messages', '300', '--seed', '7', '--database', database], check=True,
                   capture_output=True)
    db = sqlite3.connect(database)
    hard = [
        ('Ünïcödé &amp; “quotes” &lt;u@example.org&gt;', '[vclub] Größe\r\nFrom the second line', 'From here on<br>\nFrom x'),
        ('"Quoted, Name" &lt;q@example.org&gt;', ' [vclub]  spaced  ', '>From already quoted<br>From y'),
        ('just_a_nickname', '=?not an encoded word?=', '<tt>&#8364; &eacute;t&eacute;</tt>'),
        ('bare@example.net', '', ''),
    ]
    rowids = [r[0] for r in db.execute('SELECT rowid FROM veltra ORDER BY rowid LIMIT 4')]
    for rowid, (author, title, body) in zip(rowids, hard):
        db.execute('UPDATE veltra SET messauthor = ?, messtitle = ?, message = ? WHERE rowid = ?',
                   (author, title, body, rowid))
    db.commit()
    records = db.execute('SELECT messnum, messauthor, messdate, messtitle, message FROM veltra ORDER BY rowid').fetchall()
    db.close()

    target = os.path.join(folder, 'out.mbox')
    said = export(folder, 'out.mbox')
    check(said == 'Exported %d messages to out.mbox' % len(records), 'last line: %r' % said)
    messages = read_back(target)
    check(len(messages) == len(records), 'count %d of %d' % (len(messages), len(records)))
    for message, (number, author, date, title, body) in zip(messages, records):
        where = 'message %d: ' % number
        check(message['X-Veltra-Number'] == str(number), where + 'number')
        check(str(message['Subject']) == html.unescape(title), where + 'subject %r' % str(message['Subject']))
        check(str(message['X-Veltra-Date']) == date, where + 'date text')
        name, address = parseaddr(html.unescape(author))
        shown = message['From'].addresses[0]
        if '@' in address:
            check((shown.display_name, shown.addr_spec) == (name, address), where + 'author %r' % str(message['From']))
        else:
            check(shown.display_name == html.unescape(author), where + 'author %r' % str(message['From']))
        text = message.get_body(preferencelist=('plain',)).get_content()
        words = re.findall(r'\w+', html.unescape(re.sub(r'<[^>]*>', ' ', body)))
        missing = [w for w in words if w not in text]
        check(not missing, where + 'words missing from the text: %r' % missing[:5])
        # Python's reader leaves the mboxrd quoting of "From " lines in place; a mail program takes it off.
        shown_html = re.sub(r'^>(>*From )', r'\1', message.get_body(preferencelist=('html',)).get_content(), flags=re.M)
        # Line ends come as mbox files end lines.
        check(shown_html == body.replace('\r\n', '\n').replace('\r', '\n'), where + 'HTML part')

    # An archive without messages gives an empty mailbox.
    db = sqlite3.connect(database)
    db.execute('DELETE FROM veltra')
    db.commit()
    db.close()
    said = export(folder, 'empty.mbox')
    check(said == 'Exported 0 messages to empty.mbox', 'empty archive: %r' % said)
    check(read_back(os.path.join(folder, 'empty.mbox')) == [], 'empty archive read back')

for failure in failures[:20]:
    print('FAIL:', failure)
print('%d passed, %d failed' % (1 if not failures else 0, 1 if failures else 0))
sys.exit(1 if failures else 0)
