#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# The sizes a maintainer keeps an eye on: the longest functions and the largest classes of
# src/ (a class counted with its header and every function defined as Class:: in any file).
# Reads the code as written here: a definition's body opens with "{" and closes with "}" or
# "};" at the start of a line.
import collections
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent / 'src')


def bodies(path):
    lines = path.read_text(encoding='utf-8').split('\n')
    i = 0
    while i < len(lines):
        if lines[i] == '{' and i > 0:
            j = i
            while j < len(lines) and lines[j] not in ('}', '};'):
                j += 1
            k = i - 1
            while k > 0 and lines[k].startswith(' '):
                k -= 1
            yield lines[k].strip(), j - k + 1
            i = j
        i += 1


functions = []
classes = collections.Counter()
for header in root.rglob('*.h'):
    text = header.read_text(encoding='utf-8')
    for m in re.finditer(r'^class (\w+)( final)?\b[^;]*$', text, re.M):
        classes[m.group(1)] += text.count('\n')
for source in root.rglob('*.cpp'):
    for signature, length in bodies(source):
        if '(' in signature and not signature.startswith(('namespace', 'struct', 'class', 'enum')):
            functions.append((length, f'{source.relative_to(root)}: {signature[:70]}'))
        if m := re.search(r'\b(\w+)::~?\w+\(', signature):
            classes[m.group(1)] += length

print('longest functions (lines):')
for length, where in sorted(functions, reverse=True)[:5]:
    print(f'  {length:4}  {where}')
print('largest classes (lines, header and definitions):')
for name, size in classes.most_common(5):
    print(f'  {size:4}  {name}')
