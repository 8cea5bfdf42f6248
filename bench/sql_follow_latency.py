#!/usr/bin/env python3
"""chainscan dump --format sql --for postgresql --follow | psql, while a writer
adds block files at a set rate: the time from each file's close to its row
being visible to a second connection that polls max(height).
  sql_follow_latency.py BUILD_DIR WORK_DIR (with a cluster's socket in WORK_DIR/pg) HEIGHTS RATE"""
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

build, work, heights, rate = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
socket = os.path.join(work, "pg")
source, live = os.path.join(work, "latency-source"), os.path.join(work, "latency-live")
subprocess.run([f"{build}/tests/support/make_store", source, str(heights + 5)], check=True, stdout=subprocess.DEVNULL)
subprocess.run([f"{build}/tests/support/make_store", live, "5"], check=True, stdout=subprocess.DEVNULL)
psql = ["psql", "-X", "-q", "-A", "-t", "-h", socket, "-U", "postgres", "-d", "postgres"]
subprocess.run(psql + ["-c", "DROP TABLE IF EXISTS latency"], check=True)

pipeline = subprocess.Popen(
    f"'{build}/chainscan' dump --format sql --for postgresql --table latency --follow --config '{live}/settings.ini'"
    f" | {' '.join(psql)} -v ON_ERROR_STOP=1", shell=True, start_new_session=True)
poller = subprocess.Popen(psql, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)


def ask(query):
    poller.stdin.write(query + "\n")
    return poller.stdout.readline().strip()


def highest():
    return int(ask("SELECT coalesce(max(height), -1) FROM latency;"))


while ask("SELECT to_regclass('latency') IS NOT NULL;") != "t" or highest() < 4:
    time.sleep(0.01)

closed = {}
visible = {}
done = threading.Event()


def write():
    start = time.monotonic()
    for i, h in enumerate(range(5, heights + 5)):
        due = start + i / rate
        pause = due - time.monotonic()
        if pause > 0:
            time.sleep(pause)
        name = f"blocks/testnet/{h}.vetq"
        with open(os.path.join(source, name), "rb") as f:
            data = f.read()
        with open(os.path.join(live, name), "wb") as f:
            f.write(data)
        closed[h] = time.monotonic()
    done.set()


writer = threading.Thread(target=write)
writer.start()
seen = 4
last = heights + 4
deadline = time.monotonic() + heights / rate + 30
while seen < last and time.monotonic() < deadline:
    top = highest()
    now = time.monotonic()
    for h in range(seen + 1, top + 1):
        visible[h] = now
    seen = max(seen, top)
writer.join()
os.killpg(pipeline.pid, signal.SIGTERM)
pipeline.wait()
poller.stdin.close()
poller.wait()

latencies = sorted((visible[h] - closed[h]) * 1000 for h in visible if h in closed)
if len(latencies) < heights:
    print(f"  only {len(latencies)} of {heights} rows became visible")
if latencies:
    pick = lambda p: latencies[min(len(latencies) - 1, int(p * len(latencies)))]
    print(f"dump --format sql --for postgresql --follow | psql, {heights} heights at {rate:g} a second:"
          f" close to visible row median {pick(0.5):.1f} ms, p99 {pick(0.99):.1f} ms, max {latencies[-1]:.1f} ms")
shutil.rmtree(source)
shutil.rmtree(live)
