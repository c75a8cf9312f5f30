#!/usr/bin/env python3
# SPDX-License-Identifier: MIT WITH fmt-exception
"""Power cuts on the emulated board (run-board.py's): sorbelt converts a page
store on an SD card, qemu is killed at a chosen moment, the board boots again
from the same card, the page files are checked and sorbelt runs a second time.

  power-cut.py --out DIR --sorbelt PATH FS CUT...
      a trial per CUT on a card of FS (ext4 or vfat): line:N as the Nth
      report line appears, end:S S seconds after the run, at:S S seconds after
      its start. Exit 0 when every check holds, 1 when not, 77 without a board.
  power-cut.py --out DIR --sorbelt PATH --random N [--window S] FS...
      N cuts on each FS at random moments up to S seconds after the start;
      prints a line per trial and the table.
  --failsys PATH --fail CALL=ERRNO [--fail CALL=ERRNO]...
      both runs go through failsys with these words, as on an older kernel
      (renameat2=ENOSYS) or file system (renameat2=EINVAL)

Checked after every cut: every page reported "write ok." before it is whole;
no page file is anything but whole; after a second run all twenty are; nothing
but the chunk files, the page files and lost+found is left; fsck is content.
"""
import argparse
import hashlib
import importlib.util
import os
import random
import re
import shutil
import subprocess
import sys
import threading

_spec = importlib.util.spec_from_file_location(
    "run_board", os.path.join(os.path.dirname(os.path.abspath(__file__)), "run-board.py"))
board = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(board)

PAGES = ["task_%d.dat" % n for n in range(10)] + ["sub_%d.dat" % n for n in range(10)]
CHUNKS = ("0044", "0045", "0046")
MODULES = ("drivers/mmc/host/sdhci", "drivers/mmc/host/cqhci", "drivers/mmc/host/sdhci-pltfm",
           "drivers/mmc/host/sdhci-esdhc-imx", "lib/crc16", "fs/mbcache", "fs/jbd2/jbd2",
           "crypto/crc32c_generic", "fs/ext4/ext4", "fs/fat/fat", "fs/fat/vfat", "fs/nls/nls_cp437",
           "fs/nls/nls_ascii", "fs/nls/nls_utf8")  # in the order they load
ENV = dict(os.environ, PATH=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")
TOOLS = "qemu-system-arm fdtput apt-get dpkg-deb mkfs.ext4 e2fsck mkfs.vfat fsck.vfat mcopy".split()
# both boots; the second (trial=check) unmounts the card at the end. The
# report goes through a pipe, as into a log: each line must come as its page is done.
INIT = r"""#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in /lib/modules/*.ko; do insmod $m; done
for i in $(seq 50); do card=$(ls /dev/mmcblk? 2>/dev/null) && break; sleep 0.1; done
listing() { ls -A | while read f; do echo "@@file $f $(md5sum <"$f" 2>/dev/null | cut -c1-32)"; done; }
mkdir /home && mkdir /home/CF && mount $card /home/CF && cd /home/CF && listing && echo @@run &&
    time ${fail:+failsys $(echo $fail | tr , ' ')} sorbelt | cat && echo @@ran && listing
[ "$trial" = check ] && cd / && umount /home/CF
echo @@end
while :; do sleep 60; done
"""


def store(out):
    """Writes the chunk files; returns the md5 of each page's text (2 to 8 KiB)."""
    rng, chunks, texts = random.Random(15), {c: bytearray(0x10000) for c in CHUNKS}, {}
    for i, name in enumerate(PAGES):  # the sub pages' indices follow the task pages'
        at = (0x220 + i) * 0x2000
        text = bytes(rng.choice(b"abcdefghij \n") for _ in range(2048 + 300 * i))
        chunks["%04x" % (at >> 16)][at & 0xFFFF:(at & 0xFFFF) + len(text)] = text
        texts[name] = hashlib.md5(text).hexdigest()
    os.makedirs(os.path.join(out, "files"), exist_ok=True)
    for name, data in chunks.items():
        with open(os.path.join(out, "files", name), "wb") as f:
            f.write(data)
    return texts


def prepare(out, sorbelt, failsys):
    """The kernel, device tree and initramfs, or None when they cannot be had."""
    kpkg = board.kernel_package() if all(shutil.which(t, path=ENV["PATH"]) for t in TOOLS) else None
    kernel = board.fetch_package(os.path.join(out, "cache"), kpkg) if kpkg else None
    busybox = kernel and board.fetch_package(os.path.join(out, "cache"), "busybox-static:armhf")
    if not busybox:
        print("skipped: needs %s (Debian: qemu-system-arm, device-tree-compiler, e2fsprogs, dosfstools, "
              "mtools) and linux-image-armmp:armhf, busybox-static:armhf" % ", ".join(TOOLS))
        return None
    kver = os.listdir(os.path.join(kernel, "lib/modules"))[0]
    root = os.path.join(out, "root")
    shutil.rmtree(root, ignore_errors=True)
    for d in ("bin", "proc", "sys", "dev", "lib/modules"):
        os.makedirs(os.path.join(root, d))
    shutil.copy(os.path.join(busybox, "bin/busybox"), os.path.join(root, "bin"))
    shutil.copy(sorbelt, os.path.join(root, "bin/sorbelt"))
    if failsys:
        shutil.copy(failsys, os.path.join(root, "bin/failsys"))
    with open(os.path.join(root, "init"), "w") as f:
        f.write(INIT)
    os.chmod(os.path.join(root, "init"), 0o755)
    for i, m in enumerate(MODULES):
        shutil.copy(os.path.join(kernel, "lib/modules", kver, "kernel", m + ".ko"),
                    os.path.join(root, "lib/modules", "%02d-%s.ko" % (i, os.path.basename(m))))
    board.newc_archive(root, os.path.join(out, "initrd.gz"))
    # qemu 7.2 puts the card on the last of the four controllers, not the
    # first: each of them is made to take a card that is simply there
    dtb = os.path.join(out, "board.dtb")
    shutil.copy(os.path.join(kernel, "usr/lib/linux-image-" + kver, "imx6q-sabrelite.dtb"), dtb)
    for alias in ("mmc0", "mmc1", "mmc2", "mmc3"):
        mmc = subprocess.run(["fdtget", dtb, "/aliases", alias], capture_output=True, text=True,
                             check=True).stdout.strip()
        for prop in ("cd-gpios", "wp-gpios"):
            subprocess.run(["fdtput", "-d", dtb, mmc, prop], capture_output=True)
        for opt, prop, *value in (("-ts", "status", "okay"), ("-ti", "non-removable"), ("-ti", "bus-width", "4")):
            subprocess.run(["fdtput", opt, dtb, mmc, prop] + value, check=True)
    return os.path.join(kernel, "boot/vmlinuz-" + kver), dtb, os.path.join(out, "initrd.gz")


def boot(kit, card, log, fail, cut=""):
    """Boots the board from the card, killed as cut says; returns the console's lines."""
    qemu = subprocess.Popen(
        ["qemu-system-arm", "-M", "sabrelite", "-display", "none", "-monitor", "none", "-no-reboot",
         "-kernel", kit[0], "-dtb", kit[1], "-initrd", kit[2], "-append",
         "rdinit=/init console=ttymxc1 quiet" + ("" if cut else " trial=check") + (" fail=" + fail if fail else ""),
         "-serial", "null",
         "-serial", "stdio", "-drive", "if=none,id=card,file=%s,format=raw" % card, "-device", "sd-card,drive=card"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    kind, _, value = cut.partition(":")
    timers, lines = [threading.Timer(120, qemu.kill)], []
    timers[0].start()
    for raw in qemu.stdout:  # what qemu wrote before it was killed was said before the cut
        lines.append(raw.decode("utf-8", "replace").rstrip("\r\n"))
        log.write(lines[-1] + "\n")
        if (kind == "line" and sum(" => " in x for x in lines) == int(value)) or (not cut and lines[-1] == "@@end"):
            break
        if (kind, lines[-1]) in (("at", "@@run"), ("end", "@@ran")):
            timers.append(threading.Timer(float(value), qemu.kill))
            timers[-1].start()
    qemu.kill()
    qemu.wait()
    for t in timers:
        t.cancel()
    return lines


def trial(out, kit, fs, cut, texts, fail):
    """One cut and its counts, or None when the board did not come up."""
    card, files = os.path.join(out, "card.img"), [os.path.join(out, "files", c) for c in CHUNKS]
    if os.path.exists(card):
        os.remove(card)
    for cmd in ([["mkfs.ext4", "-q", "-d", os.path.join(out, "files"), card, "32M"]] if fs == "ext4" else
                [["mkfs.vfat", "-C", card, "32768"], ["mcopy", "-i", card] + files + ["::"]]):
        subprocess.run(cmd, check=True, capture_output=True, env=ENV)
    with open(os.path.join(out, "console.log"), "w") as log:
        first, second = boot(kit, card, log, fail, cut), boot(kit, card, log, fail)
    if "@@ran" not in second or "@@end" not in second:
        return None
    reported = [x.split(" ")[0] for x in first if x.endswith(" => write ok.")]
    after_cut, after_rerun = ({x.split(" ")[1]: (x.split(" ") + [""])[2] for x in part if x.startswith("@@file ")}
                              for part in (second[:second.index("@@run")], second[second.index("@@ran"):]))
    fsck = subprocess.run(["e2fsck", "-fn", card] if fs == "ext4" else ["fsck.vfat", "-n", card],
                          capture_output=True, text=True, env=ENV)
    with open(os.path.join(out, "console.log"), "a") as log:
        log.write(fsck.stdout + fsck.stderr)
    # no damage: the dirty bit that a cut leaves on vfat, and the clusters of
    # a page whose name the cut kept from the card, no file's but not free
    benign = re.compile(r"fsck\.fat |.*[Dd]irty bit|Leaving filesystem unchanged|.*: \d+ files, "
                        r"|Reclaimed \d+ unused clusters? |$")
    return {"reported": len(reported),
            "lost": sum(after_cut.get(p) != texts[p] for p in reported),
            "torn": sum(texts.get(f, h) != h for f, h in after_cut.items()),
            "left behind": sum(f not in texts and f not in CHUNKS and f != "lost+found" for f in after_rerun),
            "fsck errors": int(fsck.returncode != 0 and not all(
                benign.match(x) for x in (fsck.stdout + fsck.stderr).splitlines())),
            "not whole after a second run": sum(after_rerun.get(p) != texts[p] for p in PAGES),
            "run time": next((x[5:] for x in first if x.startswith("real\t")), "-")}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    ap.add_argument("--sorbelt", required=True)
    ap.add_argument("--random", type=int)
    ap.add_argument("--window", type=float, default=1.0)
    ap.add_argument("--failsys")
    ap.add_argument("--fail", action="append", default=[])
    ap.add_argument("words", nargs="+", metavar="FS CUT")
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    fail = ",".join(args.fail)
    kit = prepare(args.out, args.sorbelt, args.failsys if fail else None)
    if not kit:
        return 77
    texts = store(args.out)
    plan = ([(fs, "at:%.2f" % random.uniform(0, args.window)) for fs in args.words for _ in range(args.random)]
            if args.random else [(args.words[0], cut) for cut in args.words[1:]])
    table, failed = {}, 0
    for i, (fs, cut) in enumerate(plan):
        r = trial(args.out, kit, fs, cut, texts, fail)
        bad = not r or any(v for k, v in r.items() if k not in ("reported", "run time"))
        failed += bad
        for name in ("console.log", "card.img") if bad else ():  # kept for a look
            os.replace(os.path.join(args.out, name), os.path.join(args.out, "failed-%d-%s" % (i, name)))
        print("%s %s: %s%s" % (fs, cut, ", ".join("%s %s" % (k, v) for k, v in r.items()) if r else
                               "the board did not come up (console.log)", " - FAILED" if bad else ""), flush=True)
        row = table.setdefault(fs, [0] * 6)
        for column, v in enumerate([1] + list(r.values())[:5] if r else [1]):
            row[column] += v
    print("| file system | cuts | pages reported before the cut | pages lost | torn page files "
          "| files left behind | fsck errors |\n|---|---|---|---|---|---|---|")
    for fs, row in table.items():
        print("| %s | %s |" % (fs, " | ".join(map(str, row))))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
