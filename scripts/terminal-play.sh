#!/usr/bin/env bash
# Plays a moving picture with tessivo-convert in a terminal (tmux, installed the first time) and
# watches the screen: every frame shows in turn, in its place, for its delay; the cursor is hidden
# while it plays; after Ctrl+C (and after SIGTERM) the program has ended with 130 (143), the
# cursor is shown again below the art and the colours are reset. Not part of the tests.
#   scripts/terminal-play.sh
# Uses build/cli/tessivo-convert (or $TESSIVO_CONVERT) and the blocks of
# scripts/moving-pictures.py: red, green and blue, shown 100, 200 and 300 ms, played for ever.
# Prints what it saw; exits 1 when a check fails.
set -euo pipefail
cd "$(dirname "$0")/.."
convert=$(realpath "${TESSIVO_CONVERT:-build/cli/tessivo-convert}")
if ! command -v tmux >/dev/null; then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq tmux >/dev/null
fi

work=$(mktemp -d)
session=tessivo-play-$$
trap 'tmux kill-session -t "$session" 2>/dev/null || true; rm -rf "$work"' EXIT
python3 scripts/moving-pictures.py "$work"
options=(--mode shape --width 60 --no-footer)
# The frames as text, to know them on the screen.
"$convert" "${options[@]}" --output-dir "$work/frames" --frames all "$work/blocks.gif"

status=0
for signal in INT TERM; do
  tmux new-session -d -s "$session" -x 80 -y 30 \
    "'$convert' ${options[*]} --format ansi '$work/blocks.gif'; echo \"exit \$?\"; sleep 600"
  # Watches the pane for two seconds: each change of what it shows, and when.
  python3 - "$session" "$work/frames" "$signal" <<'PY' || status=1
import glob, os, subprocess, sys, time
session, folder, signal = sys.argv[1], sys.argv[2], sys.argv[3]

def tmux(*args):
    return subprocess.run(["tmux", *args], capture_output=True, text=True).stdout

frames = []
for path in sorted(glob.glob(f"{folder}/blocks-*.txt")):
    frames.append([line.rstrip() for line in open(path, encoding="utf-8", newline="").read().split("\r\n")])
delays = [int(line.split("\t")[2]) for line in open(f"{folder}/blocks.frames.tsv").read().splitlines()[1:]]

def shown():
    lines = [line.rstrip() for line in tmux("capture-pane", "-p", "-t", session).split("\n")]
    for n, frame in enumerate(frames):
        if lines[:len(frame)] == frame:
            return n
    return None

seen, hidden = [], True
start = time.monotonic()
while time.monotonic() - start < 2:
    n = shown()
    if n is not None and (not seen or seen[-1][0] != n):
        seen.append((n, time.monotonic()))
    hidden = hidden and (n is None or tmux("display", "-p", "-t", session, "#{cursor_flag}").strip() == "0")
    time.sleep(0.002)
# Each frame after the first one seen, shown for as long as until the next.
order_ok = all(b[0] == (a[0] + 1) % len(frames) for a, b in zip(seen, seen[1:]))
spans = [(a[0], round((b[1] - a[1]) * 1000)) for a, b in zip(seen[1:], seen[2:])]
timing_ok = all(abs(ms - delays[n]) <= 40 for n, ms in spans)

pid = int(tmux("display", "-p", "-t", session, "#{pane_pid}").strip())
child = subprocess.run(["pgrep", "-P", str(pid)], capture_output=True, text=True).stdout.split()
if signal == "INT":
    tmux("send-keys", "-t", session, "C-c")
else:
    os.kill(int(child[0]), 15)
expected = {"INT": "exit 130", "TERM": "exit 143"}[signal]
for _ in range(500):
    pane = tmux("capture-pane", "-p", "-t", session)
    if expected in pane:
        break
    time.sleep(0.01)
lines = pane.split("\n")
cursor = tmux("display", "-p", "-t", session, "#{cursor_flag} #{cursor_y}").split()
exit_line = next((i for i, line in enumerate(lines) if line.startswith("exit ")), -1)
art_lines = len(frames[0]) - (1 if frames[0][-1] == "" else 0)
ok = (order_ok and timing_ok and hidden and len(seen) >= 4 and expected in pane
      and cursor[0] == "1" and exit_line >= art_lines)
print(f"SIG{signal}: frames seen in turn: {' '.join(str(n + 1) for n, _ in seen)}; each shown for "
      f"{', '.join(f'{ms} ms (frame {n + 1}: {delays[n]})' for n, ms in spans)}; cursor hidden "
      f"while playing: {'yes' if hidden else 'no'}; then {expected.replace('exit', 'exit status')}, "
      f"cursor {'shown' if cursor[0] == '1' else 'hidden'}, the shell's next line {exit_line + 1} "
      f"below the art's {art_lines}: {'ok' if ok else 'FAILED'}")
sys.exit(0 if ok else 1)
PY
  tmux kill-session -t "$session"
done
exit $status
