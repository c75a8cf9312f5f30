#!/usr/bin/env python3
# SPDX-License-Identifier: MIT WITH fmt-exception
"""Runs case tables on an emulated i.MX6 board: a real ARM Linux kernel under
qemu-system-arm, with the static board programs in its initramfs.

  run-board.py --out DIR [--cache DIR] --program NAME=PATH... TABLE...
      boots the board once, runs every table there (the case runner must be
      one of the programs, as clirun), and records each case's result in DIR;
      the kernel and busybox packages are kept in the cache (DIR/cache unless
      given), which boards that boot at the same time may share
  run-board.py --result DIR TABLE N
      reports case N of TABLE from that record: exit 0 passed, 1 failed,
      77 skipped

The board's first UART (/dev/ttyO1 on the board) is a UDP character device
whose far end is this script: what is plugged into the board's connector.
The console is the second UART, on this script's pipes. A case asks for a
change of connector with a line "@@host WORD..." (each word quoted), and
gets its answer as "@@reply STRING" on the console:
  uart loop                      a looped-back connector (at boot): every byte
                                 sent comes back
  uart cut                       the loop cut: what is sent goes nowhere
  uart peer WAIT BURST [PAUSE BURST]...
                                 a peer that, WAIT seconds from now, sends the
                                 bursts with the pauses between them, and
                                 records what comes back
  uart received                  answers with what the peer got back so far
"""
import argparse
import fcntl
import gzip
import os
import re
import shutil
import socket
import subprocess
import sys
import threading
import time

BOOT_BUDGET_S = 150  # boot and all cases; the whole tier must stay near 3 minutes
MODULES = ("kernel/drivers/gpio/gpio-mxc.ko", "kernel/drivers/spi/spi-imx.ko")
HERE = os.path.dirname(os.path.abspath(__file__))


def skip(out, reason):
    with open(os.path.join(out, "results.txt"), "w") as f:
        f.write("skip\t%s\n" % reason)
    print("board: skipped:", reason)
    return 77


def fetch_package(cache, name):
    """Unpacks a Debian package of armhf into cache/name; returns the folder or None."""
    folder = os.path.join(cache, name.replace(":", "_"))
    if os.path.isdir(folder):
        return folder
    os.makedirs(cache, exist_ok=True)
    r = subprocess.run(["apt-get", "download", name], cwd=cache, capture_output=True, text=True)
    debs = [d for d in os.listdir(cache) if d.endswith(".deb") and d.startswith(name.split(":")[0] + "_")]
    if r.returncode != 0 or not debs:
        print(r.stderr.strip(), file=sys.stderr)
        return None
    subprocess.run(["dpkg-deb", "-x", os.path.join(cache, debs[0]), folder + ".part"], check=True)
    os.rename(folder + ".part", folder)
    return folder


def kernel_package():
    r = subprocess.run(["apt-cache", "depends", "linux-image-armmp:armhf"], capture_output=True, text=True)
    m = re.search(r"Depends: (linux-image-[0-9][^:\s]*-armmp)", r.stdout)
    return m.group(1) + ":armhf" if m else None


def newc_archive(root, path):
    """Writes the tree under root as a gzipped initramfs (cpio newc)."""
    ino = 1
    with gzip.open(path, "wb", compresslevel=1) as out:
        def entry(name, st, data):
            nonlocal ino
            fields = (ino, st.st_mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name) + 1, 0)
            head = b"070701" + b"".join(b"%08X" % v for v in fields)
            out.write(head + name.encode() + b"\0")
            out.write(b"\0" * ((4 - (110 + len(name) + 1) % 4) % 4))
            out.write(data)
            out.write(b"\0" * ((4 - len(data) % 4) % 4))
            ino += 1
        for dirpath, dirnames, filenames in os.walk(root):
            dirnames.sort()
            for n in sorted(dirnames) + sorted(filenames):
                full = os.path.join(dirpath, n)
                st = os.lstat(full)
                name = os.path.relpath(full, root)
                if os.path.islink(full):
                    data = os.readlink(full).encode()
                elif os.path.isfile(full):
                    with open(full, "rb") as f:
                        data = f.read()
                else:
                    data = b""
                entry(name, st, data)
        entry("TRAILER!!!", os.stat(root), b"")


ESCAPES = {"n": b"\n", "t": b"\t", "r": b"\r", "0": b"\0", "\\": b"\\", '"': b'"'}


def unquote(text):
    """The quoted strings of a line, escapes as the case runner writes them."""
    words, i = [], 0
    while True:
        i = text.find('"', i)
        if i < 0:
            return words
        word, i = bytearray(), i + 1
        while text[i] != '"':
            if text[i] == "\\":
                if text[i + 1] == "x":
                    word.append(int(text[i + 2:i + 4], 16))
                    i += 4
                    continue
                word += ESCAPES[text[i + 1]]
                i += 2
            else:
                word += text[i].encode("latin-1")
                i += 1
        words.append(bytes(word))
        i += 1


def quote(data):
    out = []
    for b in data:
        c = chr(b)
        if c in '"\\':
            out.append("\\" + c)
        elif 0x20 <= b < 0x7F:
            out.append(c)
        else:
            out.append("\\x%02x" % b)
    return '"' + "".join(out) + '"'


class Connector:
    """What is plugged into the first UART."""

    def __init__(self, sock, board_port):
        self.sock, self.board = sock, ("127.0.0.1", board_port)
        self.mode, self.received, self.lock = "loop", bytearray(), threading.Lock()
        self.stop = threading.Event()
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        self.sock.settimeout(0.2)
        while not self.stop.is_set():
            try:
                data, _ = self.sock.recvfrom(65536)
            except socket.timeout:
                continue
            with self.lock:
                if self.mode == "loop":
                    self.sock.sendto(data, self.board)
                elif self.mode == "peer":
                    self.received += data

    def send_bursts(self, wait, plan):
        time.sleep(wait)
        for i, burst in enumerate(plan):
            if i % 2:
                time.sleep(float(burst))
            else:
                self.sock.sendto(burst, self.board)

    def ask(self, words):
        """Carries out one request of a case; returns the answer."""
        if words[:1] != [b"uart"] or len(words) < 2:
            return "unknown request"
        what = words[1].decode()
        with self.lock:
            if what in ("loop", "cut"):
                self.mode = what
                return "ok"
            if what == "peer" and len(words) >= 4:
                self.mode, self.received = "peer", bytearray()
                threading.Thread(target=self.send_bursts, args=(float(words[2]), words[3:]),
                                 daemon=True).start()
                return "ok"
        if what == "received":
            time.sleep(0.3)  # lets the last echo through the emulator
            with self.lock:
                return bytes(self.received)
        return "unknown request"


def boot(args):
    out = args.out
    os.makedirs(out, exist_ok=True)
    for tool in ("qemu-system-arm", "fdtget", "fdtput", "apt-get", "dpkg-deb"):
        if not shutil.which(tool):
            return skip(out, "%s is missing (Debian: qemu-system-arm, device-tree-compiler)" % tool)
    cache = args.cache or os.path.join(out, "cache")
    os.makedirs(cache, exist_ok=True)
    kpkg = kernel_package()
    with open(os.path.join(cache, "lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)  # one board at a time fetches and unpacks
        kernel = fetch_package(cache, kpkg) if kpkg else None
        busybox = fetch_package(cache, "busybox-static:armhf")
    if not kernel or not busybox:
        return skip(out, "linux-image-armmp:armhf or busybox-static:armhf cannot be had "
                         "(needs dpkg --add-architecture armhf and apt-get update)")
    kver = os.listdir(os.path.join(kernel, "lib/modules"))[0]

    root = os.path.join(out, "root")
    shutil.rmtree(root, ignore_errors=True)
    for d in ("bin", "proc", "sys", "dev", "tmp", "lib/modules", "suite/bin", "suite/cases"):
        os.makedirs(os.path.join(root, d))
    shutil.copy(os.path.join(busybox, "bin/busybox"), os.path.join(root, "bin"))
    shutil.copy(os.path.join(HERE, "init"), os.path.join(root, "init"))
    os.chmod(os.path.join(root, "init"), 0o755)
    for m in MODULES:
        shutil.copy(os.path.join(kernel, "lib/modules", kver, m), os.path.join(root, "lib/modules"))
    for p in args.program:
        name, path = p.split("=", 1)
        shutil.copy(path, os.path.join(root, "suite/bin", name))
    for i, t in enumerate(args.tables):  # numbered, so the board keeps their order
        shutil.copy(t, os.path.join(root, "suite/cases", "%02d-%s" % (i, os.path.basename(t))))
    initrd = os.path.join(out, "initrd.gz")
    newc_archive(root, initrd)

    # The emulated SoC has no working SDMA engine: a UART that is given DMA
    # channels never drains its output, so the first UART goes without.
    dtb = os.path.join(out, "board.dtb")
    shutil.copy(os.path.join(kernel, "usr/lib/linux-image-" + kver, "imx6q-sabrelite.dtb"), dtb)
    uart = subprocess.run(["fdtget", dtb, "/aliases", "serial0"], capture_output=True, text=True,
                          check=True).stdout.strip()
    for prop in ("dmas", "dma-names"):
        subprocess.run(["fdtput", "-d", dtb, uart, prop], check=True)

    far = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    far.bind(("127.0.0.1", 0))
    near = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    near.bind(("127.0.0.1", 0))
    near_port = near.getsockname()[1]
    near.close()  # qemu takes this port as its own end
    # qemu's UDP device is a connected socket: the far end sends from the
    # port that qemu sends to, or its datagrams are dropped
    connector = Connector(far, near_port)

    cmd = ["qemu-system-arm", "-M", "sabrelite", "-display", "none", "-monitor", "none", "-no-reboot",
           "-kernel", os.path.join(kernel, "boot/vmlinuz-" + kver), "-dtb", dtb, "-initrd", initrd,
           "-append", "rdinit=/init console=ttymxc1 iomem=relaxed quiet",
           "-serial", "udp:127.0.0.1:%d@127.0.0.1:%d" % (far.getsockname()[1], near_port),
           "-serial", "stdio"]
    started = time.monotonic()
    qemu = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    timer = threading.Timer(BOOT_BUDGET_S, qemu.kill)
    timer.start()
    results, table, current, ended = [], None, None, False
    with open(os.path.join(out, "console.log"), "wb") as log:
        for raw in qemu.stdout:
            log.write(raw)
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            m = re.match(r"(ok|FAIL|skip) (\d+) - (.*)", line)
            if line.startswith("@@host "):
                answer = connector.ask(unquote(line[7:]))
                answer = answer.encode() if isinstance(answer, str) else answer
                qemu.stdin.write(b"@@reply " + quote(answer).encode() + b"\n")
                qemu.stdin.flush()
            elif line.startswith("@@table "):
                table = line.split(" ", 1)[1]
            elif line == "@@end":
                ended = True
                break
            elif "Kernel panic" in line:
                break
            elif m and table:
                current = [table, m.group(2), m.group(1), m.group(3), []]
                results.append(current)
            elif current and current[2] == "FAIL" and line.startswith("  "):
                current[4].append(line)
    qemu.kill()
    qemu.wait()
    timer.cancel()
    connector.stop.set()
    with open(os.path.join(out, "results.txt"), "w") as f:
        for table_name, n, verdict, title, detail in results:
            f.write("%s\t%s\t%s\t%s\n" % (table_name, n, verdict, title))
            for d in detail:
                f.write("\t\t\t%s\n" % d)
        if not ended:
            f.write("broken\tthe board stopped or took over %d s before its cases ended (console.log)\n"
                    % BOOT_BUDGET_S)
    print("board: %d cases in %.0f s%s" % (len(results), time.monotonic() - started,
                                            "" if ended else ", cut off at the time-out"))
    return 0 if ended else 1


def result(out, table, n):
    try:
        with open(os.path.join(out, "results.txt")) as f:
            lines = f.read().split("\n")
    except OSError:
        print("the board did not run")
        return 1
    for i, line in enumerate(lines):
        fields = line.split("\t")
        if fields[0] == "skip":
            print("skipped:", fields[1])
            return 77
        if fields[:2] == [table, str(n)]:
            print("%s %s - %s" % (fields[2], n, fields[3]))
            for d in lines[i + 1:]:
                if not d.startswith("\t\t\t"):
                    break
                print(d[3:])
            return {"ok": 0, "skip": 77}.get(fields[2], 1)
    print("no result for this case: the board stopped before it (console.log)")
    return 1


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    ap.add_argument("--cache")
    ap.add_argument("--program", action="append", default=[])
    ap.add_argument("--result", nargs=2, metavar=("TABLE", "N"))
    ap.add_argument("tables", nargs="*")
    args = ap.parse_args()
    if args.result:
        return result(args.out, *args.result)
    return boot(args)


if __name__ == "__main__":
    sys.exit(main())
