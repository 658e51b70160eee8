#!/usr/bin/env python3
"""wall_spread.py LOG... : how far apart the machines of a wall are, from hallshow-wall --log files.

Each log has a line a frame, "TRUE_NS SHARED_NS ROW" (the true time at which the frame is seen, on a
clock no machine's clock shift touches), and "# TRUE_NS ..." notes. The first log is the reference
(the leader). At every frame time of the reference, each other log's row is interpolated between
its two frames around that instant (never across a jump: frames more than MAX_GAP apart are not
bridged), and the difference is given in milliseconds of show time (1 row = 50 ms).

Options: --from S / --to S restrict to true seconds since the reference's first frame; --step-ms D
says when a machine is "in step" (default 1 ms) for the in-step times; --json prints the figures
as JSON."""
import json, sys

MAX_GAP = 0.2e9  # ns


def read(path):
    frames, notes = [], []
    for line in open(path):
        if line.startswith('#'):
            parts = line[1:].split(None, 1)
            if len(parts) == 2:
                notes.append((int(parts[0]), parts[1].strip()))
            continue
        t, _, row = line.split()
        frames.append((int(t), float(row)))
    frames.sort()
    return frames, notes


def row_at(frames, t, hint):
    """The row at true time t, interpolated; (row, new hint) or (None, hint)."""
    i = hint
    while i + 1 < len(frames) and frames[i + 1][0] <= t:
        i += 1
    if i + 1 >= len(frames) or frames[i][0] > t:
        return None, i
    (t0, r0), (t1, r1) = frames[i], frames[i + 1]
    if t1 - t0 > MAX_GAP or abs((r1 - r0) - (t1 - t0) * 20e-9) > 0.02:  # a jump between them: not bridged
        return None, i
    return r0 + (r1 - r0) * (t - t0) / (t1 - t0), i


def percentile(values, p):
    if not values:
        return float('nan')
    v = sorted(values)
    return v[min(len(v) - 1, int(round(p / 100 * (len(v) - 1))))]


def main(argv):
    args, logs = {}, []
    i = 0
    while i < len(argv):
        if argv[i] in ('--from', '--to', '--step-ms'):
            args[argv[i]] = float(argv[i + 1]); i += 2
        elif argv[i] == '--json':
            args['--json'] = True; i += 1
        else:
            logs.append(argv[i]); i += 1
    if len(logs) < 2:
        sys.exit(__doc__)
    data = [read(p) for p in logs]
    ref = data[0][0]
    t0 = ref[0][0]
    lo = t0 + args.get('--from', 0) * 1e9
    hi = t0 + args.get('--to', 1e12) * 1e9
    step = args.get('--step-ms', 1.0)
    result = {'machines': len(logs), 'pairs': []}
    diffs_all = []
    for k in range(1, len(data)):
        hint = 0
        diffs, times = [], []
        for t, r in ref:
            if t < lo or t > hi:
                continue
            other, hint = row_at(data[k][0], t, hint)
            if other is None:
                continue
            d = (other - r) * 50.0  # ms of show time
            diffs.append(d); times.append(t)
        # In step from the first instant after which every difference stays within `step`.
        in_step = None
        for j in range(len(diffs) - 1, -1, -1):
            if abs(diffs[j]) > step:
                in_step = times[j + 1] if j + 1 < len(times) else None
                break
        else:
            in_step = times[0] if times else None
        ad = [abs(d) for d in diffs]
        pair = {'log': logs[k], 'samples': len(diffs),
                'p50_ms': percentile(ad, 50), 'p99_ms': percentile(ad, 99), 'max_ms': max(ad) if ad else float('nan'),
                'first_s': (times[0] - t0) / 1e9 if times else None,
                'in_step_s': (in_step - t0) / 1e9 if in_step else None}
        result['pairs'].append(pair)
        diffs_all.append((times, diffs))
    if args.get('--json'):
        print(json.dumps(result))
        return
    for p in result['pairs']:
        print(f"{p['log']}: {p['samples']} instants, |diff| p50 {p['p50_ms']:.3f} ms, p99 {p['p99_ms']:.3f} ms, "
              f"max {p['max_ms']:.3f} ms; first frame at {p['first_s']} s, in step (<= {step} ms) from {p['in_step_s']} s")


if __name__ == '__main__':
    main(sys.argv[1:])
