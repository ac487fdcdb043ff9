#!/usr/bin/env python3
"""Runs the tested recipes of the README and the guides against the demo's virtual controllers.

A fenced block whose info string is `sh {test}` is a recipe: it runs by `bash -e -o pipefail` in a
scratch folder laid out as a clone after `scripts/demo --no-window` (the data folder build/demo with the
two virtual controllers of scripts/demo-controllers, the programs in build-demo/bin and build/bin), one block after
another in the file's order, so a later block may use what an earlier one wrote. Attributes:
  {test interrupt="TEXT"}  a block that runs until Ctrl+C: SIGINT once its output shows TEXT; it must
                           then end with exit code 0
  {test skip="why"}        needs root, a real device or the whole build: listed as skipped
Each file gets a scratch folder and controllers of its own. Exit code 0 when every recipe passed.

  recipes.py --source SRC --bin BIN [FILE.md ...]     (default: SRC/README.md and SRC/docs/*.md)
"""
import argparse
import os
import re
import selectors
import shutil
import signal
import subprocess
import sys
import tempfile
import time

FENCE = re.compile(r'^```sh\s*\{(test[^}]*)\}\s*$')
ATTR = re.compile(r'(\w+)="([^"]*)"')
# A guard against a recipe that hangs, not a wait: every recipe ends long before it.
GUARD_SECONDS = 300


class Recipe:
    def __init__(self, path, line, attrs, text):
        self.path, self.line, self.attrs, self.text = path, line, attrs, text

    @property
    def name(self):
        return f'{os.path.relpath(self.path)}:{self.line}'


def recipes_of(path):
    found, block, start, attrs = [], None, 0, {}
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip('\n')
            if block is None:
                m = FENCE.match(line)
                if m:
                    block, start, attrs = [], number, dict(ATTR.findall(m.group(1)))
            elif line.startswith('```'):
                found.append(Recipe(path, start, attrs, '\n'.join(block) + '\n'))
                block = None
            else:
                block.append(line)
    if block is not None:
        raise SystemExit(f'{path}:{start}: a recipe block is never closed')
    return found


class Site:
    """The demo's site in a scratch folder: build/demo with its controllers, build-demo/bin."""

    def __init__(self, source, bin_dir):
        self.dir = tempfile.mkdtemp(prefix='tarsyn-recipes.')
        os.makedirs(os.path.join(self.dir, 'build-demo'))
        os.symlink(os.path.abspath(bin_dir), os.path.join(self.dir, 'build-demo', 'bin'))
        os.symlink(os.path.join(source, 'scripts'), os.path.join(self.dir, 'scripts'))
        os.symlink(os.path.join(source, 'data'), os.path.join(self.dir, 'data'))
        os.makedirs(os.path.join(self.dir, 'build'))
        os.symlink(os.path.abspath(bin_dir), os.path.join(self.dir, 'build', 'bin'))
        data = os.path.join(self.dir, 'build', 'demo')
        self.controllers = subprocess.Popen(
            [os.path.join(source, 'scripts', 'demo-controllers'), data, bin_dir],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, start_new_session=True)
        said = []
        for line in self.controllers.stdout:
            said.append(line)
            if line.strip() == 'ready':
                return
        self.close()
        raise SystemExit('the virtual controllers did not start:\n' + ''.join(said))

    def close(self):
        if self.controllers.poll() is None:
            self.controllers.terminate()
            self.controllers.wait(timeout=30)
        shutil.rmtree(self.dir, ignore_errors=True)


def run(recipe, cwd):
    """(passed, output) of one recipe."""
    env = dict(os.environ)
    env.setdefault('QT_QPA_PLATFORM', 'offscreen')
    # A process group of its own, to be interrupted whole; not a session of its own, whose leader would
    # take the first terminal it opens (a controller's pseudo-terminal) as its controlling one.
    process = subprocess.Popen(['bash', '-e', '-o', 'pipefail', '-c', recipe.text], cwd=cwd, env=env,
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, process_group=0)
    try:
        return follow(recipe, process)
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def follow(recipe, process):
    """(passed, output) of a recipe's running process."""
    until = recipe.attrs.get('interrupt')
    output, interrupted = b'', False
    selector = selectors.DefaultSelector()
    selector.register(process.stdout, selectors.EVENT_READ)
    deadline = time.monotonic() + GUARD_SECONDS
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            return False, output.decode(errors='replace') + f'\n[still running after {GUARD_SECONDS} s: killed]'
        if not selector.select(timeout=left):
            continue
        chunk = os.read(process.stdout.fileno(), 65536)
        if not chunk:
            break
        output += chunk
        if until and not interrupted and until.encode() in output:
            interrupted = True
            os.killpg(process.pid, signal.SIGINT)
    code = process.wait()
    text = output.decode(errors='replace')
    if until and not interrupted:
        return False, text + f'\n[ended (exit {code}) before its output showed "{until}"]'
    if code != 0:
        return False, text + f'\n[exit code {code}]'
    return True, text


def main():
    # Ended from outside (ctest's time-out, Ctrl+C): the finally clauses still stop the controllers.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    parser = argparse.ArgumentParser()
    parser.add_argument('--source', required=True)
    parser.add_argument('--bin', required=True)
    parser.add_argument('files', nargs='*')
    args = parser.parse_args()
    source = os.path.abspath(args.source)
    files = args.files or [os.path.join(source, 'README.md')] + sorted(
        os.path.join(source, 'docs', f) for f in os.listdir(os.path.join(source, 'docs')) if f.endswith('.md'))
    passed = failed = skipped = 0
    for path in files:
        recipes = recipes_of(path)
        runnable = [r for r in recipes if 'skip' not in r.attrs]
        for r in recipes:
            if 'skip' in r.attrs:
                print(f'SKIP {r.name}: {r.attrs["skip"]}')
                skipped += 1
        if not runnable:
            continue
        site = Site(source, os.path.abspath(args.bin))
        try:
            for r in runnable:
                started = time.monotonic()
                ok, output = run(r, site.dir)
                took = time.monotonic() - started
                print(f'{"PASS" if ok else "FAIL"} {r.name} ({took:.1f} s)')
                print('    $ ' + '\n    $ '.join(l for l in r.text.strip().split('\n')))
                if not ok or os.environ.get('TARSYN_RECIPES_VERBOSE'):
                    print('    ' + output.strip().replace('\n', '\n    '))
                passed, failed = passed + ok, failed + (not ok)
        finally:
            site.close()
    print(f'{passed} passed, {failed} failed, {skipped} skipped')
    return 1 if failed or not passed else 0


if __name__ == '__main__':
    sys.exit(main())
