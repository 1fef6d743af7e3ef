#!/usr/bin/env python3
# `tombola --verifica` against the generator as the README defines it, written again here with
# Python's own hmac and hashlib: a program other than ours must get the same seal and draw.
import hashlib, hmac, struct, subprocess, sys

def pick(secret, ordinal, left):
    limit = 2**64 - (2**64 % left)
    j = 0
    while True:
        h = hmac.new(secret, struct.pack('>II', ordinal, j), hashlib.sha256).digest()
        w = int.from_bytes(h[:8], 'big')
        if w < limit:
            return w % left
        j += 1

def draw(secret, by_hand):
    left = list(range(1, 91))
    out = []
    for i in range(1, 91):
        k = left.index(by_hand[i]) if i in by_hand else pick(secret, i, len(left))
        out.append(left.pop(k))
    return out

def seal(secret):
    h = hashlib.sha256(secret).hexdigest()[:16]
    return ' '.join(h[k:k + 4] for k in range(0, 16, 4))

program = sys.argv[1]
failures = 0
for label, by_hand in ((b'primo', {}), (b'secondo', {1: 45, 2: 12})):
    secret = hashlib.sha256(label).digest()
    if by_hand:
        # One more by hand at the 60th: a number that the draw has not given by then.
        by_hand[60] = draw(secret, by_hand)[-1]
    args = [program, '--verifica', secret.hex()]
    if by_hand:
        args.append(','.join('%d:%d' % kv for kv in sorted(by_hand.items())))
    got = subprocess.run(args, capture_output=True, text=True, timeout=60)
    lines = got.stdout.splitlines()
    expected = ['Sigillo: ' + seal(secret)] + [
        '%d. %d%s' % (i + 1, n, ' (a mano)' if i + 1 in by_hand else '') for i, n in enumerate(draw(secret, by_hand))]
    if got.returncode != 0 or lines != expected:
        failures += 1
        print('FAIL', label, got.returncode, got.stderr, file=sys.stderr)
        for a, b in zip(lines, expected):
            if a != b:
                print('  got %r expected %r' % (a, b), file=sys.stderr)
                break
bad = subprocess.run([program, '--verifica', 'abc'], capture_output=True, text=True, timeout=60)
if bad.returncode == 0 or bad.stdout:
    failures += 1
    print('FAIL: a short secret was accepted', file=sys.stderr)
print('ok' if failures == 0 else '%d failures' % failures)
sys.exit(1 if failures else 0)
