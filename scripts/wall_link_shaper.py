#!/usr/bin/env python3
"""wall_link_shaper.py DELAY_MS JITTER_MS LOSS_PERCENT SECONDS IFACE... : a switch in user space.

Joins the given interfaces (the switch-side ends of veth pairs, in the namespace it runs in) as a
learning Ethernet switch, and holds every frame DELAY_MS ± JITTER_MS (uniform) before passing it on,
dropping LOSS_PERCENT of them at random: what `tc qdisc add ... netem delay D J loss L` does on
each machine's link, for kernels built without netem. Each frame crosses it once, so each
direction between two machines sees one delay and one chance of loss. Ends by itself after
SECONDS; prints the frames passed and dropped."""
import heapq, random, select, socket, sys, time

ETH_P_ALL = 0x0003
PACKET_OUTGOING = 4


def main():
    delay, jitter, loss, seconds = (float(a) for a in sys.argv[1:5])
    names = sys.argv[5:]
    socks = {}
    for name in names:
        s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
        s.bind((name, 0))
        s.setblocking(False)
        socks[s.fileno()] = (name, s)
    where = {}  # MAC -> socket
    queue = []  # (due, seq, frame, from socket)
    seq = passed = dropped = 0
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        now = time.monotonic()
        timeout = max(0.0, min(queue[0][0] - now, 0.05)) if queue else 0.05
        ready, _, _ = select.select(list(socks), [], [], timeout)
        for fd in ready:
            name, s = socks[fd]
            while True:
                try:
                    frame, address = s.recvfrom(65536)
                except BlockingIOError:
                    break
                if address[2] == PACKET_OUTGOING or len(frame) < 14:
                    continue
                where[frame[6:12]] = s
                if random.random() * 100 < loss:
                    dropped += 1
                    continue
                due = time.monotonic() + max(0.0, delay + random.uniform(-jitter, jitter)) / 1000
                seq += 1
                heapq.heappush(queue, (due, seq, frame, s))
        now = time.monotonic()
        while queue and queue[0][0] <= now:
            _, _, frame, source = heapq.heappop(queue)
            target = where.get(frame[0:6])
            for _, s in socks.values():
                if s is source or (target is not None and s is not target):
                    continue
                try:
                    s.send(frame)
                except OSError:
                    pass
            passed += 1
    print(f'wall_link_shaper: {passed} frames passed, {dropped} dropped')


if __name__ == '__main__':
    main()
