#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The export's text parts beside w3m's dump of the same HTML: how many messages break into
the same lines. The demo archive (as ./demo writes it) goes through `veltra-kb --export-mbox`
and is read back with Python's mailbox; each message's HTML from the database goes through
`w3m -dump -T text/html -cols 10000 -I UTF-8 -O UTF-8`. Then the HTML parts of the real mail in the
corpus, put into the same archive's messages and exported the same way (figure printed, not
held to the goal; plain-text mail is left out, as it holds no layout to compare).

Lines compare after what differs by design is taken away: blanks within a line are
collapsed and those at its ends dropped (w3m pads table cells and indents quotes and lists
where the export writes tabs, "> " and two blanks a level); quote marks and list markers at
the start of a line ("> ", "- ", "1. " against w3m's indent, bullets and numbers); a rule
(w3m's "─" across the page, the export's dashes) is one token; blank lines are skipped, as
w3m spaces paragraphs its own way. Messages agree when their sequences of lines are equal.

    text_vs_w3m.py VELTRA_KB VELTRA_DEMOGEN [--goal PERCENT]
Exits 1 when the demo archive's figure is below the goal (95 by default).
"""
import email.policy
import mailbox
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor
from email import message_from_binary_file

program, demogen = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
goal = float(sys.argv[sys.argv.index('--goal') + 1]) if '--goal' in sys.argv else 95.0
corpus = os.environ.get('VELTRA_CORPUS', os.path.join(os.path.dirname(__file__), '../../../shared/corpus'))
in_ci = os.environ.get('CI') == 'true'

if shutil.which('w3m') is None:
    print('w3m is not installed (scripts/deps.sh --tests installs it)')
    sys.exit(1 if in_ci else 77)

MARKERS = re.compile(r'^(?:(?:>\s?)+|(?:[-*•◦▪□■●○]|\d+\.)\s+)+')
RULE = re.compile(r'^(?:─{3,}|-{3,})$')


def lines_of(text):
    shown = []
    for line in text.replace('\xa0', ' ').split('\n'):
        line = ' '.join(line.split())
        line = MARKERS.sub('', line).strip()
        if RULE.match(line):
            line = '<rule>'
        if line:
            shown.append(line)
    return shown


def w3m(html):
    run = subprocess.run(['w3m', '-dump', '-T', 'text/html', '-cols', '10000', '-I', 'UTF-8', '-O', 'UTF-8'],
                         input=html.encode('utf-8'), capture_output=True, check=True)
    return run.stdout.decode('utf-8', 'replace')


def exported_texts(folder):
    run = subprocess.run([program, '--export-mbox', 'out.mbox'], cwd=folder, capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit('export failed: %s' % run.stderr)
    box = mailbox.mbox(os.path.join(folder, 'out.mbox'),
                       factory=lambda f: message_from_binary_file(f, policy=email.policy.default), create=False)
    return {int(m['X-Veltra-Number']): m.get_body(preferencelist=('plain',)).get_content() for m in box}


def compare(title, records, texts):
    """records: (number, html). Prints the figure and a few of the rest; returns the figure."""
    with ThreadPoolExecutor(max_workers=2) as pool:
        dumps = list(pool.map(w3m, [html for _, html in records]))
    same, differ = 0, []
    for (number, html), dump in zip(records, dumps):
        ours, theirs = lines_of(texts[number]), lines_of(dump)
        if ours == theirs:
            same += 1
        else:
            differ.append((number, html, ours, theirs))
    figure = 100.0 * same / len(records) if records else 100.0
    print('%s: %d of %d messages (%.1f%%) break into the same lines as w3m' % (title, same, len(records), figure))
    for number, html, ours, theirs in differ[:3]:
        at = next((k for k in range(min(len(ours), len(theirs))) if ours[k] != theirs[k]), min(len(ours), len(theirs)))
        print('  message %d differs at line %d:\n    export: %r\n    w3m:    %r'
              % (number, at + 1, ours[at:at + 2], theirs[at:at + 2]))
    return figure


def corpus_html_parts():
    """The text/html parts of the real mail, decoded."""
    parts = []
    top = os.path.join(corpus, 'realmail')
    for folder, _, files in sorted(os.walk(top)):
        for name in sorted(files):
            path = os.path.join(folder, name)
            if name.endswith('.mbox'):
                messages = list(mailbox.mbox(path, factory=lambda f: message_from_binary_file(f, policy=email.policy.default)))
            elif name.endswith('.eml'):
                with open(path, 'rb') as f:
                    messages = [message_from_binary_file(f, policy=email.policy.default)]
            else:
                continue
            for message in messages:
                for part in message.walk():
                    if part.get_content_type() == 'text/html':
                        try:
                            parts.append(part.get_content())
                        except (LookupError, ValueError):
                            pass
    return parts


with tempfile.TemporaryDirectory() as folder:
    database = os.path.join(folder, 'veltra.mdb')
    subprocess.run([demogen, '--messages', '3000', '--seed', '1', '--database', database], check=True,
                   capture_output=True)
    db = sqlite3.connect(database)
    records = db.execute('SELECT messnum, message FROM veltra ORDER BY rowid').fetchall()
    figure = compare('demo archive', records, exported_texts(folder))

    if os.path.isdir(os.path.join(corpus, 'realmail')):
        parts = corpus_html_parts()
        rowids = [r[0] for r in db.execute('SELECT rowid FROM veltra ORDER BY rowid LIMIT ?', (len(parts),))]
        for rowid, html in zip(rowids, parts):
            db.execute('UPDATE veltra SET message = ? WHERE rowid = ?', (html, rowid))
        db.commit()
        real = db.execute('SELECT messnum, message FROM veltra ORDER BY rowid LIMIT ?', (len(parts),)).fetchall()
        compare('real mail (HTML parts)', real, exported_texts(folder))
    elif in_ci:
        sys.exit('the corpus is absent: %s' % corpus)
    else:
        print('skipped the real mail: the corpus is absent (%s)' % corpus)
    db.close()

if figure < goal:
    sys.exit('below the goal of %.0f%%' % goal)
