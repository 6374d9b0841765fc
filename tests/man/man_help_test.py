#!/usr/bin/env python3
"""Each tool's --help and its manual page name the same options (and, for
tools with commands, the same commands). A page whose tool is not built is
reported and passed over.

    man_help_test.py SOURCE_DIR BUILD_DIR
"""
import os
import re
import subprocess
import sys

OPTION = re.compile(r'(?<![\w-])--[a-z][a-z0-9-]*')
# Options every tool takes without listing them in its usage.
IMPLIED = {'--help'}


def page_sections(text):
    sections, name = {}, None
    for line in text.splitlines():
        if line.startswith('# '):
            name = line[2:].strip()
            sections[name] = []
        elif name:
            sections[name].append(line)
    return {k: '\n'.join(v) for k, v in sections.items()}


def main():
    source, build = sys.argv[1], sys.argv[2]
    man_dir = os.path.join(source, 'doc', 'man')
    failures, checked = [], 0
    for page in sorted(os.listdir(man_dir)):
        if not page.endswith('.scd'):
            continue
        tool = page.split('.')[0]
        binary = os.path.join(build, 'bin', tool)
        if not os.path.exists(binary):
            print('%s: not built here, page not checked' % tool)
            continue
        with open(os.path.join(man_dir, page), encoding='utf-8') as f:
            text = f.read()
        run = subprocess.run([binary, '--help'], capture_output=True, text=True, timeout=30)
        help_text = run.stdout + run.stderr
        if run.returncode != 0:
            failures.append('%s --help exits %d' % (tool, run.returncode))
        in_page = set(OPTION.findall(text)) - IMPLIED
        in_help = set(OPTION.findall(help_text)) - IMPLIED
        for option in sorted(in_help - in_page):
            failures.append('%s: --help has %s, the page does not' % (tool, option))
        for option in sorted(in_page - in_help):
            failures.append('%s: the page has %s, --help does not' % (tool, option))
        commands = page_sections(text).get('COMMANDS')
        if commands:
            page_commands = set(re.findall(r'^\*([a-z]+)\*', commands, re.M))
            help_commands = set(re.findall(r'^  ([a-z]+) [A-Z]', help_text, re.M))
            if page_commands != help_commands:
                failures.append('%s: commands differ: page %s, --help %s' %
                                (tool, sorted(page_commands), sorted(help_commands)))
        checked += 1
        print('%s: %d options agree' % (tool, len(in_page & in_help)))
    for failure in failures:
        print('FAIL: ' + failure)
    if checked == 0:
        print('no page could be checked')
        return 1
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
