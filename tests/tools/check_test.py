#!/usr/bin/env python3
"""VRN505Check.exe on the sample recording and on broken copies of it.

Usage: check_test.py BUILD_DIR

Each row of CASES breaks a fresh copy of the sample in one way and names every line the
checker must print for it (decoded from Shift-JIS) and its exit code. The checker runs under
the build's Wine prefix with LC_ALL=ja_JP.UTF-8, as a user's code page 932 system runs it.
On a console (a pseudo-terminal here) it must show its Japanese under code page 1252 too.
"""
import os
import pty
import random
import re
import select
import shutil
import subprocess
import sys
import tempfile
import wave

BUILD = sys.argv[1]
CHECKER = os.path.join(BUILD, "tools", "check", "VRN505Check.exe")
SAMPLE = os.path.join(BUILD, "sample")


def winpath(path):
    return "Z:" + path.replace("/", "\\")


def rewrite(relative, edit):
    """Replaces the bytes of RELATIVE with what EDIT makes of them."""
    def change(folder):
        path = os.path.join(folder, relative)
        with open(path, "rb") as f:
            data = f.read()
        with open(path, "wb") as f:
            f.write(edit(data))
    return change


def rewrite_lines(name, edit):
    """Runs EDIT on the lines of data/NAME, each with its line end, and writes them back."""
    def lines_edited(data):
        lines = data.splitlines(keepends=True)
        edit(lines)
        return b"".join(lines)
    return rewrite("data/" + name, lines_edited)


def edit_line(name, number, text):
    """Replaces line NUMBER (from 1) of data/NAME, keeping its line end."""
    def edit(lines):
        lines[number - 1] = text + lines[number - 1][len(lines[number - 1].rstrip(b"\r\n")):]
    return rewrite_lines(name, edit)


def keep_lines(name, count):
    return rewrite_lines(name, lambda lines: lines.__delitem__(slice(count, None)))


def drop_line(name, number):
    return rewrite_lines(name, lambda lines: lines.__delitem__(number - 1))


def remove(relative):
    return lambda folder: os.remove(os.path.join(folder, relative))


def write(relative, data):
    return rewrite(relative, lambda _: data)


def cut_after_first_page(relative):
    """Keeps the clip's first Ogg page (the Vorbis identification header) and spoils the rest."""
    return rewrite(relative,
                   lambda data: data[:27 + data[26] + sum(data[27:27 + data[26]])] + b"OggS" +
                   b"\x55" * 400)


def encoded_clip(relative, samples):
    """A clip encoded from 16-bit samples at 8000 per second."""
    def change(folder):
        wav = os.path.join(folder, "clip.wav")
        with wave.open(wav, "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(8000)
            w.writeframes(samples)
        subprocess.run(["oggenc", "-Q", "-o", os.path.join(folder, relative), wav], check=True)
        os.remove(wav)
    return change


def long_clip(relative, seconds):
    return encoded_clip(relative, b"\0\0" * 8000 * seconds)


def damaged_clip(relative, fraction):
    """Ten seconds of noise, which fill many pages, with the bits of one byte flipped at a
    fraction of the file, as a bad disk or download does."""
    noise = random.Random(25)
    encode = encoded_clip(relative, b"".join(
        noise.randint(-8000, 8000).to_bytes(2, "little", signed=True) for _ in range(80000)))

    def flip(data):
        at = int(len(data) * fraction)
        return data[:at] + bytes([data[at] ^ 0xFF]) + data[at + 1:]
    flipped = rewrite(relative, flip)
    return lambda folder: (encode(folder), flipped(folder))


def cut_clip(relative, size):
    """The clip's first bytes only, as a download cut short leaves it."""
    return rewrite(relative, lambda data: data[:size])


def blank_lines(name):
    """Blank lines and trailing white space, which the program's loader passes over."""
    return rewrite("data/" + name,
                   lambda data: b"\r\n" + data.replace(b"\r\n", b"  \r\n", 5) + b"\r\n\r\n")


D = "data\\"
S = "sound\\"
CASES = [
    ("the sample", [], 0, []),
    ("blank lines in the Tas file", [blank_lines("vrn505Tas.dat")], 0, []),
    ("no elevator file", [remove("data/vrn505Elevator.dat")], 1,
     [D + "vrn505Elevator.dat: ファイルが開けません"]),
    ("no transcript", [remove("data/cvrText.dat")], 1,
     [D + "cvrText.dat: ファイルが開けません (字幕表示を外せば、無くても再生できます)"]),
    ("a pitch that is no number", [edit_line("vrn505Pitch.dat", 100, b"1539 1.2x")], 1,
     [D + "vrn505Pitch.dat 100行目: 2 欄目「1.2x」が数値に変換できません"]),
    ("seconds that are no integer", [edit_line("vrn505Roll.dat", 7, b"1446.5 0.1")], 1,
     [D + "vrn505Roll.dat 7行目: 1 欄目「1446.5」が整数 (秒) になりません"]),
    ("a latitude that is not finite", [edit_line("vrn505LatLon.dat", 5, b"1444 inf 134.6")], 1,
     [D + "vrn505LatLon.dat 5行目: 2 欄目「inf」が有限の数ではありません"]),
    ("a line without its longitude", [edit_line("vrn505LatLon.dat", 9, b"1448 33.4")], 1,
     [D + "vrn505LatLon.dat 9行目: 欄が足りません (3 欄のはずが 2 欄です)"]),
    ("a field too many", [edit_line("vrn505Alt.dat", 3, b"1442 10000 5")], 1,
     [D + "vrn505Alt.dat 3行目: 欄が多過ぎます (2 欄のはずです)"]),
    ("a line too long", [edit_line("vrn505Heading.dat", 11, b"1450 " + b"1" * 140)], 1,
     [D + "vrn505Heading.dat 11行目: 行が長過ぎるか、NUL 文字を含みます (127 バイトまで)"]),
    ("values out of range",
     [edit_line("vrn505Roll.dat", 10, b"1449 200"), edit_line("vrn505LatLon.dat", 20, b"1459 95 -181"),
      edit_line("vrn505Tas.dat", 30, b"1469 -5")], 1,
     [D + "vrn505Roll.dat 10行目: バンク角 200 が範囲 -180..180 の外です",
      D + "vrn505Tas.dat 30行目: 真対気速度 -5 が範囲 0..1000 の外です",
      D + "vrn505LatLon.dat 20行目: 緯度 95 が範囲 -90..90 の外です",
      D + "vrn505LatLon.dat 20行目: 経度 -181 が範囲 -180..180 の外です"]),
    ("a second left out", [drop_line("vrn505Alt.dat", 200)], 1,
     [D + "vrn505Alt.dat 200行目: 秒の欄が 1639 のはずが 1640 です (1440 から 1 ずつ増えるはず)",
      D + "vrn505Alt.dat: 3417 行あります (ほかのファイルは 3418 行。行数は揃えます)"]),
    ("a second repeated", [edit_line("vrn505Tas.dat", 2, b"1440 250")], 1,
     [D + "vrn505Tas.dat 2行目: 秒の欄が 1441 のはずが 1440 です (1440 から 1 ずつ増えるはず)",
      D + "vrn505Tas.dat 3行目: 秒の欄が 1441 のはずが 1442 です (1440 から 1 ずつ増えるはず)"]),
    ("a recording that ends at 55:00", [keep_lines("vrn505Elevator.dat", 1861)], 1,
     [D + "vrn505Elevator.dat: 1861 行しかありません (56:28 まで再生するには 1949 行要ります)",
      D + "vrn505Elevator.dat: 1861 行あります (ほかのファイルは 3418 行。行数は揃えます)"]),
    ("transcript lines out of format",
     [edit_line("cvrText.dat", 30, b"24:29 no tabs"), edit_line("cvrText.dat", 40, b"24:39\t0\tx"),
      edit_line("cvrText.dat", 50, b"24:49\t" + b"a" * 120 + b"\t5"),
      edit_line("cvrText.dat", 60, b"24:59\t\x80\x82\t5"), edit_line("cvrText.dat", 70, b"")], 1,
     [D + "cvrText.dat 30行目: TAB が 2 つありません (時刻、字幕、表示秒数を TAB で区切ります)",
      D + "cvrText.dat 40行目: 表示秒数「x」が数ではありません",
      D + "cvrText.dat 50行目: 改行を含めて 129 バイトあります (127 バイトまで)",
      D + "cvrText.dat 60行目: 7 バイト目 0x80 が Shift-JIS の文字になりません",
      D + "cvrText.dat 70行目: TAB が 2 つありません (時刻、字幕、表示秒数を TAB で区切ります)"]),
    ("clips missing, not Ogg, broken, too long",
     [remove("sound/2430.ogg"), write("sound/2514.ogg", b"RIFF not a clip"),
      cut_after_first_page("sound/2521.ogg"), long_clip("sound/2539.ogg", 16),
      long_clip("sound/5600.ogg", 27)], 1,
     [S + "2430.ogg: ファイルが開けません",
      S + "2514.ogg: Ogg Vorbis の音声ファイルではありません",
      S + "2521.ogg: 音声の途中でファイルが終わっています (0.5 KB で切れています)",
      S + "2539.ogg: 長さ 16.0 秒が、次の sound\\2554.ogg の始まりまでの 15 秒を超えます",
      S + "5600.ogg: 長さ 27.0 秒が、再生の終わり 56:26 までの 26 秒を超えます"]),
    ("clips cut short, with flipped bits, empty, garbage after the capture pattern",
     [cut_clip("sound/2629.ogg", 3072), damaged_clip("sound/2554.ogg", 0.5),
      write("sound/2700.ogg", b""),
      write("sound/2737.ogg", b"OggS" + bytes(random.Random(5).randrange(256) for _ in range(3000)))],
     1,
     [S + "2629.ogg: 音声の途中でファイルが終わっています (3.0 KB で切れています)",
      S + "2554.ogg: 音声の 41 % の所が壊れています",
      S + "2700.ogg: 空のファイルです (0 バイト)",
      S + "2737.ogg: Ogg Vorbis の音声ファイルではありません"]),
]

USAGE_CASES = [["a", "b"], ["-h"], ["Z:\\no\\such\\folder"]]
# On a console under code page 1252, as an English system's, the Japanese of a usage case.
CONSOLE_ARGS = ["Z:\\no\\such\\folder"]
CONSOLE_TEXTS = ["フォルダに入れません:", "使い方:"]


def run(args):
    env = dict(os.environ, LC_ALL="ja_JP.UTF-8")
    done = subprocess.run([os.path.join(BUILD, "winerun"), CHECKER] + args, env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
    return done.returncode, done.stdout.decode("cp932").replace("\r\n", "\n").splitlines()


def run_on_console(args):
    """The exit code and the screen's text (Wine's cursor controls left out) of the checker
    writing to a console, with Wine under code page 1252."""
    env = dict(os.environ, OSTAVIN_LOCALE="C.UTF-8")
    master, slave = pty.openpty()
    checker = subprocess.Popen([os.path.join(BUILD, "winerun"), CHECKER] + args, env=env,
                               stdin=slave, stdout=slave, stderr=subprocess.DEVNULL)
    os.close(slave)
    screen = b""
    # Until the checker has ended and the console has nothing more; a Wine process that
    # outlives it may hold the terminal open.
    while True:
        if select.select([master], [], [], 1.0)[0]:
            try:
                screen += os.read(master, 4096)
                continue
            except OSError:
                break
        if checker.poll() is not None:
            break
    os.close(master)
    code = checker.wait(timeout=120)
    return code, re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", screen).decode("utf-8", "replace")


def check_case(root, name, changes, code, expected):
    folder = os.path.join(root, "case")
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(os.path.join(SAMPLE, "data"), os.path.join(folder, "data"))
    shutil.copytree(os.path.join(SAMPLE, "sound"), os.path.join(folder, "sound"))
    for change in changes:
        change(folder)
    got_code, lines = run([winpath(folder)])
    findings = lines[1:-1]
    last = "問題はありません" if not expected else "問題が %d 件あります" % len(expected)
    errors = []
    if got_code != code:
        errors.append("exit code %d, expected %d" % (got_code, code))
    if sorted(findings) != sorted(expected) or not lines or lines[-1] != last:
        errors.append("printed:\n  " + "\n  ".join(lines))
    return ["%s: %s" % (name, e) for e in errors]


def main():
    failed = 0
    with tempfile.TemporaryDirectory() as root:
        for name, changes, code, expected in CASES:
            errors = check_case(root, name, changes, code, expected)
            print("\n".join(errors or ["ok: " + name]))
            failed += bool(errors)
    for args in USAGE_CASES:
        code, lines = run(args)
        ok = code == 2 and any(line.startswith("使い方: VRN505Check") for line in lines)
        print(("ok: usage %r" if ok else "usage %r: exit code %d, printed %r") %
              ((args,) if ok else (args, code, lines)))
        failed += not ok
    code, screen = run_on_console(CONSOLE_ARGS)
    ok = code == 2 and all(text in screen for text in CONSOLE_TEXTS)
    print("ok: on a console" if ok else "on a console: exit code %d, shown %r" % (code, screen))
    failed += not ok
    total = len(CASES) + len(USAGE_CASES) + 1
    print("check_test: %d passed, %d failed" % (total - failed, failed))
    return 1 if failed else 0


sys.exit(main())
