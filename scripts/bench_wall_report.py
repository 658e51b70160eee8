#!/usr/bin/env python3
"""bench_wall_report.py OUT_DIR: the figures of scripts/bench_wall.sh, as Markdown.

Rows are compared at the same true instants (each log's "seen" times are on the kernel's boot-time
clock, which libfaketime does not shift), in milliseconds of show time (1 row = 50 ms). A follower
is in step from the first instant from which it stays within 1 ms of the leader for 2 s."""
import glob, os, re, statistics, sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wall_spread import read, row_at, percentile  # noqa: E402

STEP_MS = 1.0


def timeline(run):
    return {k: int(v) for k, v in (line.split() for line in open(os.path.join(run, 'timeline')))}


def diffs_against(ref, other, lo, hi):
    """[(t, ms)] of other − ref at ref's frames in [lo, hi)."""
    out, hint = [], 0
    for t, r in ref:
        if t < lo or t >= hi:
            continue
        o, hint = row_at(other, t, hint)
        if o is not None:
            out.append((t, (o - r) * 50.0))
    return out


HOLD_NS = 2_000_000_000


def in_step_from(diffs):
    """The first instant from which |diff| stays within STEP_MS for HOLD_NS (the rest of the run
    when that is shorter); None if never."""
    for i, (t, d) in enumerate(diffs):
        if abs(d) > STEP_MS:
            continue
        j = i
        while j < len(diffs) and diffs[j][0] - t < HOLD_NS and abs(diffs[j][1]) <= STEP_MS:
            j += 1
        if j == len(diffs) or diffs[j][0] - t >= HOLD_NS:
            return t
    return None


def in_step_for_good(diffs):
    """The first instant after which every |diff| <= STEP_MS; None if never."""
    last_bad = None
    for i, (t, d) in enumerate(diffs):
        if abs(d) > STEP_MS:
            last_bad = i
    if last_bad is None:
        return diffs[0][0] if diffs else None
    return diffs[last_bad + 1][0] if last_bad + 1 < len(diffs) else None


def stats(values):
    a = [abs(v) for v in values]
    if not a:
        return 'no samples'
    return f'p50 {percentile(a, 50):.3f} ms, p99 {percentile(a, 99):.3f} ms, max {max(a):.3f} ms ({len(a)} instants)'


def spread(ref, followers, lo, hi, starts):
    """Pairwise |row difference| among the leader and the followers at the leader's frames in [lo, hi),
    each follower counted from its own in-step instant `starts[name]`. Returns (pooled, any-two)."""
    pooled, widest = [], []
    hints = {n: 0 for n in followers}
    for t, r in ref:
        if t < lo or t >= hi:
            continue
        rows = [r]
        for n, frames in followers.items():
            if starts.get(n) is None or t < starts[n]:
                continue
            o, hints[n] = row_at(frames, t, hints[n])
            if o is not None:
                rows.append(o)
        if len(rows) < 2:
            continue
        pair = [abs(a - b) * 50.0 for i, a in enumerate(rows) for b in rows[i + 1:]]
        pooled += pair
        widest.append(max(pair))
    return pooled, widest


def clock_figures(path, after):
    """GstNetClientClock's own statistics after `after`: RTT average, its offset bound, the rate."""
    rtt, bound, rate, jumps = [], [], None, []
    for line in open(path):
        if not line.startswith('# ') or 'gst-netclock-statistics' not in line:
            continue
        t = int(line.split()[1])
        if t < after:
            continue
        f = dict(re.findall(r'([a-z-]+)=\([a-z0-9]+\)([-0-9.e]+)', line))
        rtt.append(int(f['rtt-average']) / 1e6)
        bound.append((int(f['remote-max-error']) - int(f['remote-min-error'])) / 2e6)
        jumps.append(abs(int(f['discontinuity'])) / 1e6)
        rate = float(f['rate'])
    if not rtt:
        return 'no statistics'
    return (f'RTT average median {statistics.median(rtt):.3f} ms; each poll bounds the offset within ±{statistics.median(bound):.3f} ms '
            f'(median); corrections applied median {statistics.median(jumps):.3f} ms, p99 {percentile(jumps, 99):.3f} ms; '
            f'rate at the end {rate:.6f} (the follower runs 100 ppm fast: 1/1.0001 = 0.999900)')


def scenario(run, title):
    tl = timeline(run)
    lead1, _ = read(os.path.join(run, 'lead1.log'))
    lead2, _ = read(os.path.join(run, 'lead2.log'))
    fs = {n: read(os.path.join(run, f'{n}.log'))[0] for n in ('f1', 'f2', 'f3')}
    print(f'### {title}\n')
    print(f'Load during the run: {open(os.path.join(run, "loadavg")).read().strip()}\n')
    # First leader, until it is killed.
    starts1, starts2 = {}, {}
    for n, frames in fs.items():
        starts1[n] = in_step_from(diffs_against(lead1, frames, tl[n], tl['kill']))
        starts2[n] = in_step_from(diffs_against(lead2, frames, tl['lead2'], 1 << 62))
    pooled1, widest1 = spread(lead1, fs, 0, tl['kill'], starts1)
    pooled2, widest2 = spread(lead2, fs, 0, 1 << 62, starts2)
    print(f'- Spread between any two machines once in step (pairs pooled): first leader {stats(pooled1)}; '
          f'after its return {stats(pooled2)}')
    print(f'- Widest pair at each instant: first leader {stats(widest1)}; after its return {stats(widest2)}')
    for n, frames in fs.items():
        s = starts1[n]
        first = frames[0][0] if frames else None
        print(f'- {n}: first frame {(first - tl[n]) / 1e9:.2f} s after it started (photos loaded, clock locked); '
              f'in step {((s - tl[n]) / 1e9 if s else float("nan")):.2f} s after it started, '
              f'{((s - first) / 1e9 if s else float("nan")):.2f} s after its first frame'
              + (' (the late start)' if n == 'f3' else ''))
    first2 = lead2[0][0] if lead2 else None
    for n in fs:
        s = starts2[n]
        if s is None:
            print(f'- {n}: never in step with the returned leader')
            continue
        print(f'- {n}: in step with the returned leader {(s - tl["lead2"]) / 1e9:.2f} s after it was started again '
              f'({(s - first2) / 1e9:.2f} s after its first frame)')
    # While the leader was away: frames kept coming, and at the true rate.
    for n, frames in fs.items():
        gone = [(t, r) for t, r in frames if tl['kill'] <= t < tl['lead2']]
        gaps = [(b[0] - a[0]) / 1e6 for a, b in zip(gone, gone[1:])]
        rate = (gone[-1][1] - gone[0][1]) / ((gone[-1][0] - gone[0][0]) / 1e9) if len(gone) > 1 else float('nan')
        # Where the killed leader would have been at the end of the gap, had it gone on.
        t_end = gone[-1][0] if gone else tl['lead2']
        lt, lr = lead1[-1]
        drift = ((gone[-1][1] if gone else 0) - (lr + (t_end - lt) * 20e-9)) * 50.0
        print(f'- {n} without its leader (10 s): {len(gone)} frames, largest gap {max(gaps) if gaps else float("nan"):.1f} ms, '
              f'{rate:.4f} rows/s (20 is true), {drift:+.3f} ms from where the leader would have been')
    print(f'- The display refresh apart: unlocked displays show a frame up to one refresh later (16.7 ms at 60 Hz); '
          f'the figures above are the rows of the same instant, as genlocked displays would show them.')
    for n in fs:
        s = starts1[n]
        print(f'- {n}, GstNetClientClock\'s own statistics once in step: {clock_figures(os.path.join(run, f"{n}.log"), s or 0)}')
    print()


def load(out):
    print('### The leader\'s load\n')
    for run in sorted(glob.glob(os.path.join(out, 'load-*')), key=lambda p: int(p.rsplit('-', 1)[1])):
        n, before, after, hz, seconds = open(os.path.join(run, 'leader_cpu')).read().split()
        cpu_ms = (int(after) - int(before)) * 1000 / int(hz) / float(seconds)
        lead, _ = read(os.path.join(run, 'lead.log'))
        fs = {os.path.basename(p)[:-4]: read(p)[0] for p in glob.glob(os.path.join(run, 'f*.log'))}
        starts = {k: in_step_from(diffs_against(lead, v, 0, 1 << 62)) for k, v in fs.items()}
        pooled, widest = spread(lead, fs, 0, 1 << 62, starts)
        print(f'- {n} row-only follower(s): the leader used {cpu_ms:.1f} ms of processor a second; widest pair '
              f'at each instant {stats(widest)}; load {open(os.path.join(run, "loadavg")).read().strip()}')
    print()


def main(out):
    print(f'## hallshow-wall in step ({open(os.path.join(out, "cpu")).read().strip()})\n')
    scenario(os.path.join(out, 'namespaces'), 'Leader and 3 followers in namespaces, links 2 ms ± 1 ms, 1 % loss')
    scenario(os.path.join(out, 'loopback'), 'The same on loopback, unshaped')
    load(out)


if __name__ == '__main__':
    main(sys.argv[1])
