#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The export as another mail program reads it: `veltra-kb --export-mbox` in a folder whose
archive the demo generator wrote (with hard cases written into some messages), read back
with Python's mailbox module under the email package's default policy. Same count and order,
numbers, subjects and authors (their references decoded, their line breaks and control
characters gone); each body's text holds the message's words; no message, part or header with a
defect, even where an author, subject or date was written to break one. The same mailbox in
mutt's index, as a member would open it: each of those messages on one line, with a space where
the break was. Then an archive of no messages.

    mbox_readback.py VELTRA_KB VELTRA_DEMOGEN
"""
import email.policy
import html
import mailbox
import os
import re
import shlex
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time
from email.utils import parseaddr

program, demogen = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
in_ci = os.environ.get('CI') == 'true'
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def export(folder, target):
    run = subprocess.run([program, '--export-mbox', target], cwd=folder, capture_output=True, text=True)
    check(run.returncode == 0, 'export failed: %s' % run.stderr)
    return run.stdout.strip()


def header_text(text):
    """A stored text as the export's headers show it: a run of line breaks and tabs one space,
    other control characters dropped."""
    text = re.sub('[\r\n\t\x85\u2028\u2029]+', ' ', text)
    return re.sub('[\x00-\x1f\x7f-\x9f]', '', text)


def shown(text):
    return header_text(html.unescape(text))


def defects(message):
    """Everything the default policy finds wrong in a message: its own, its parts' and its
    headers' defects, and a header it cannot read at all."""
    found = []
    for part in message.walk():
        found += [type(d).__name__ for d in part.defects]
        for name, value in part.items():
            try:
                found += ['%s: %s' % (name, type(d).__name__) for d in value.defects]
                if re.search('[\x00-\x1f\x7f]', str(value)):
                    found.append('%s: control character %r' % (name, str(value)))
            except Exception as error:  # a header the policy cannot parse
                found.append('%s: %s' % (name, error))
    return found


def mutt_index(path, lines):
    """The top of mutt's index of the mailbox: a wide index in the mailbox's own order, nothing
    read from the user's setup. tmux holds mutt's screen."""
    home = os.path.dirname(path)
    os.makedirs(os.path.join(home, 'Mail'), exist_ok=True)
    session = 'veltra-mutt-%d' % os.getpid()
    command = ('env HOME=%s LANG=C.UTF-8 TERM=xterm mutt -n -F /dev/null -R -f %s -e %s -e %s'
               % (shlex.quote(home), shlex.quote(path), shlex.quote('set sort=mailbox-order'),
                  shlex.quote('set index_format="%4C|%-40.40F|%s"')))
    subprocess.run(['tmux', 'new-session', '-d', '-s', session, '-x', '200', '-y', str(lines + 3), command], check=True)
    try:
        screen = ''
        for _ in range(100):
            screen = subprocess.run(['tmux', 'capture-pane', '-p', '-t', session], capture_output=True,
                                    text=True).stdout
            if 'Mutt: ' + os.path.basename(path) in screen:
                break
            time.sleep(0.1)
        return [line.rstrip() for line in screen.split('\n')]
    finally:
        subprocess.run(['tmux', 'kill-session', '-t', session], capture_output=True)


def read_back(path):
    box = mailbox.mbox(path, factory=lambda f: email.message_from_binary_file(f, policy=email.policy.default),
                       create=False)
    return list(box)


with tempfile.TemporaryDirectory() as folder:
    database = os.path.join(folder, 'veltra.mdb')
    # The demo's archive, as ./demo writes it.
    subprocess.run([demogen, '--messages', '3000', '--seed', '1', '--database', database], check=True,
                   capture_output=True)
    db = sqlite3.connect(database)
    hard = [
        ('Ünïcödé &amp; “quotes” &lt;u@example.org&gt;', '[vclub] Größe\r\nFrom the second line', 'From here on<br>\nFrom x'),
        ('"Quoted, Name" &lt;q@example.org&gt;', ' [vclub]  spaced  ', '>From already quoted<br>From y'),
        ('just_a_nickname', '=?not an encoded word?=', '<tt>&#8364; &eacute;t&eacute;</tt>'),
        ('bare@example.net', '', ''),
        # Written to break a header: a line break starting one of the sender's making, a NUL
        # that ends the text in C readers, other control characters, a break as a reference.
        ('Evil\r\nBcc: injected@evil.example', 'Hi\r\nBcc: injected@evil.example', 'x'),
        ('Nul\x00 Person <nul@example.org>', 'cut\x00 short\x01\x1b[31m red\x7f', 'x'),
        ('Tab\tand\nline <t@example.org>', 'tab\there\rand\u2028there\x85', 'x'),
        ('Ref&#13;&#10;Bcc: r@evil.example', 'Nuts &amp; bolts&#10;Bcc: r@evil.example', 'x'),
        ('Jürgen\r\nMüller <j@example.org>', 'Größe\r\n\tzweite Zeile', 'x'),
    ]
    rowids = [r[0] for r in db.execute('SELECT rowid FROM veltra ORDER BY rowid LIMIT ?', (len(hard),))]
    for rowid, (author, title, body) in zip(rowids, hard):
        db.execute('UPDATE veltra SET messauthor = ?, messtitle = ?, message = ? WHERE rowid = ?',
                   (author, title, body, rowid))
    db.execute('UPDATE veltra SET messdate = ? WHERE rowid = ?', ('Mon Mar 5, 2003\r\n1:05 am', rowids[4]))
    db.commit()
    records = db.execute('SELECT messnum, messauthor, messdate, messtitle, message FROM veltra ORDER BY rowid').fetchall()
    db.close()

    target = os.path.join(folder, 'out.mbox')
    said = export(folder, 'out.mbox')
    check(said == 'Exported %d messages to out.mbox' % len(records), 'last line: %r' % said)
    messages = read_back(target)
    check(len(messages) == len(records), 'count %d of %d' % (len(messages), len(records)))
    with_defect = 0
    for message, (number, author, date, title, body) in zip(messages, records):
        where = 'message %d: ' % number
        check(message['X-Veltra-Number'] == str(number), where + 'number')
        found = defects(message)
        with_defect += 1 if found else 0
        check(not found, where + 'defects %r' % found[:3])
        check(str(message['Subject']) == shown(title), where + 'subject %r' % str(message['Subject']))
        check(str(message['X-Veltra-Date']) == header_text(date), where + 'date text')
        name, address = parseaddr(shown(author))
        sender = message['From'].addresses[0]
        # An author is an address when it is one alone or ends in one in angle brackets;
        # anything else is a name.
        if re.fullmatch(r'(.*<[^<>\s]+@[^<>\s]+>|[^<>\s"]+@[^<>\s"]+)', shown(author).strip()):
            check((sender.display_name, sender.addr_spec) == (name, address), where + 'author %r' % str(message['From']))
        else:
            check(sender.display_name == shown(author).strip(), where + 'author %r' % str(message['From']))
        text = message.get_body(preferencelist=('plain',)).get_content()
        words = re.findall(r'\w+', html.unescape(re.sub(r'<[^>]*>', ' ', body)))
        missing = [w for w in words if w not in text]
        check(not missing, where + 'words missing from the text: %r' % missing[:5])
        # Python's reader leaves the mboxrd quoting of "From " lines in place; a mail program takes it off.
        shown_html = re.sub(r'^>(>*From )', r'\1', message.get_body(preferencelist=('html',)).get_content(), flags=re.M)
        # Line ends come as mbox files end lines.
        check(shown_html == body.replace('\r\n', '\n').replace('\r', '\n'), where + 'HTML part')

    print('messages with a defect under the default policy: %d of %d' % (with_defect, len(messages)))

    # Those written to break a header, in mutt's index: one line each, a space where the break was.
    if shutil.which('mutt') and shutil.which('tmux'):
        index = mutt_index(target, 12)
        for line in ['   5|Evil Bcc: injected@evil.example         |Hi Bcc: injected@evil.example',
                     '   6|Nul Person                              |cut short[31m red',
                     '   7|Tab and line                            |tab here and there',
                     '   8|Ref Bcc: r@evil.example                 |Nuts & bolts Bcc: r@evil.example',
                     '   9|Jürgen Müller                           |Größe zweite Zeile']:
            check(line in index, 'no line of mutt\'s index reads %r; it showed:\n%s' % (line, '\n'.join(index)))
    else:
        check(not in_ci, 'mutt or tmux is not installed (scripts/deps.sh --tests installs them)')
        print('mutt or tmux is not installed: the index is not looked at')

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
