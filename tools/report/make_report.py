#!/usr/bin/env python3
"""Writes the demo's report from what one replay left behind: the simulator stand-in's log
(JSON lines), the stand-in Vox.dll's call log, and the recording's data files; with the
program's own flight log beside them, its figures too, checked against the stand-in's.
Or, from a flight log alone (one a user sent), the program's report.

    make_report.py SIM_LOG VOX_LOG DATA_DIR OUT_DIR [SETTINGS] [--program-log FILE]
    make_report.py --program-log FILE --out DIR

OUT_DIR receives summary.md and the plots (PNG). Every figure is computed from the logs. The
figures are the flight log's (figures.py). The demo's report fails (exit code 1) where the
two observers disagree: rows, frames, exchanges per frame, the share of the simulator's
frames that got new values within 0.03, the applied lag's mean and worst within 2 ms.
"""
import argparse
import json
import math
import os
import re
import struct
import sys

import matplotlib

matplotlib.use('Agg')
import matplotlib.pyplot as plt  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
from ostavin_recording import FIRST_ROW_SECOND, clock_text, time_code_seconds  # noqa: E402
from figures import Figures, program_replays, read_program_log  # noqa: E402
import program_report  # noqa: E402

OFFSET = {'pause': 0x0262, 'airspeed': 0x02B8, 'altitude': 0x0570, 'pitch': 0x0578,
          'bank': 0x057C, 'heading': 0x0580, 'autopilot': 0x07BC, 'trim': 0x0BC0,
          'flaps': 0x0BDC, 'gear': 0x0BE8}
TURN = 2.0 ** 32
METRES_PER_FOOT = 0.3047999902464003


def read_log(path):
    lines = []
    with open(path, encoding='utf-8', errors='replace') as f:
        for text in f:
            text = text.strip()
            if text.endswith('}'):
                lines.append(json.loads(text))
    return lines


def read_vox(path):
    """(ms, operation, file) of every Play."""
    plays = []
    if not os.path.exists(path):
        return plays
    with open(path, encoding='utf-8', errors='replace') as f:
        for text in f:
            parts = text.split()
            if len(parts) >= 3 and parts[1] == 'Play':
                plays.append((float(parts[0]), parts[2]))
    return plays


def read_channel(data_dir, name, column=1):
    values = []
    with open(os.path.join(data_dir, name), encoding='ascii', errors='replace') as f:
        for text in f:
            fields = text.split()
            if len(fields) > column:
                values.append((int(fields[0]), float(fields[column])))
    return values


def value(line, fmt):
    return struct.unpack(fmt, bytes.fromhex(line['bytes']))[0]


class Replay:
    """The replay as the simulator saw it: rows entered, frames, events."""

    def __init__(self, log):
        self.log = log
        self.rows = []          # (time code seconds, sim clock, real ms) at each row's title
        self.resume = None      # line of the first resume after the placement
        self.end = None         # the pause write that ended the replay
        self.placement = None   # exchange number of the placement
        self.frames = []        # (recording seconds, heading, pitch, bank, altitude ft)
        self.speeds = []        # (recording seconds, knots) as read by the speed hold
        self.events = []        # (recording seconds, text)
        self.captions = []      # (recording seconds, text)
        self.frames_in_row = {}  # recording seconds of a row: frames flown in it
        self.unexpected = [line for line in log if line.get('op') == 'unexpected']
        self._walk()

    def pace(self):
        """(recording seconds, replay frames per simulated second, seconds behind the
        simulator's clock) for each row whose end was seen, from the second row on: the
        first row's title comes before the resume."""
        out = []
        if len(self.rows) < 3:
            return out
        first_seconds, first_clock, _ = self.rows[1]
        for (seconds, clock, _), (_, next_clock, _) in zip(self.rows[1:], self.rows[2:]):
            ran = next_clock - clock
            rate = self.frames_in_row.get(seconds, 0) / ran if ran > 0 else float('nan')
            out.append((seconds, rate, (clock - first_clock) - (seconds - first_seconds)))
        return out

    def _recording_time(self, line):
        if not self.rows:
            return None
        seconds, clock, _ = self.rows[-1]
        return seconds + max(0.0, line['clock'] - clock)

    def _walk(self):
        by_exchange = {}
        for line in self.log:
            if line.get('op') == 'write':
                by_exchange.setdefault(line['exchange'], []).append(int(line['offset'], 16))
        for exchange, offsets in by_exchange.items():
            if len(offsets) == 7 and offsets[0] == OFFSET['pause']:
                self.placement = exchange
        frame = {}
        flaps = None
        ended = []      # rows that have ended and whose events have not come yet, oldest first
        ending = None   # the row whose events are coming in
        for line in self.log:
            op = line.get('op')
            if op == 'resume' and self.placement and self.resume is None:
                self.resume = line
            if op == 'title':
                m = re.search(r'\[ (\d\d):(\d\d) \]', line.get('meaning', ''))
                if m:
                    seconds = int(m.group(1)) * 60 + int(m.group(2))
                    if not self.rows or self.rows[-1][0] != seconds:
                        if self.rows:
                            ended.append(self.rows[-1][0])
                        self.rows.append((seconds, line['clock'], line['real']))
            if op == 'caption' and self.resume:
                self.captions.append((self._recording_time(line), line.get('meaning', '')))
            if op not in ('write', 'read') or line['exchange'] == self.placement:
                continue
            offset = int(line['offset'], 16)
            t = self._recording_time(line)
            if t is None or self.resume is None:
                continue
            # A row's events ride in the exchanges after the next row began, the trim first;
            # the last row's, after no other.
            if op == 'write' and offset == OFFSET['trim']:
                ending = ended.pop(0) if ended else self.rows[-1][0]
            row = self.rows[-1][0]
            event_row = ending if ending is not None else row
            if op == 'read' and offset == OFFSET['airspeed']:
                self.speeds.append((t, value(line, '<i') / 128.0))
                continue
            if op != 'write':
                continue
            if offset == OFFSET['heading']:
                frame = {'t': t, 'heading': value(line, '<I') * 360.0 / TURN}
                self.frames_in_row[row] = self.frames_in_row.get(row, 0) + 1
            elif offset == OFFSET['pitch']:
                frame['pitch'] = value(line, '<i') * 360.0 / TURN
            elif offset == OFFSET['bank']:
                frame['bank'] = value(line, '<i') * 360.0 / TURN
            elif offset == OFFSET['altitude'] and 'heading' in frame:
                feet = value(line, '<q') / TURN / METRES_PER_FOOT
                self.frames.append((frame['t'], frame['heading'], frame.get('pitch', 0.0),
                                    frame.get('bank', 0.0), feet))
                frame = {}
            elif offset == OFFSET['autopilot'] and not any(e[1].startswith('autopilot') for e in self.events):
                self.events.append((event_row, 'autopilot off (first of every row from here on)'))
            elif offset == OFFSET['gear'] and value(line, '<i') == 16383 and \
                    not any(e[1].startswith('gear') for e in self.events):
                self.events.append((event_row, 'gear down (first of every row from here on)'))
            elif offset == OFFSET['flaps']:
                lever = value(line, '<i')
                if lever and lever != flaps:
                    self.events.append((event_row, 'flaps lever %d (%d detents)' % (lever, round(lever / 2047))))
                    flaps = lever
            elif offset == OFFSET['pause'] and value(line, '<h') == 1:
                self.end = line
                self.events.append((event_row, 'pause: the replay ends'))


def catmull_rom(t, p0, p1, p2, p3):
    t2, t3 = t * t, t * t * t
    return (0.5 * (2 * t2 - t3 - t) * p0 + 0.5 * (3 * t3 - 5 * t2 + 2) * p1 +
            0.5 * (t + 4 * t2 - 3 * t3) * p2 + 0.5 * (t3 - t2) * p3)


def altitude_units(data_dir):
    """The altitude row table as the program holds it, indexed by row."""
    return [feet * 4294967296.0 * 0.3047999902464003
            for _, feet in read_channel(data_dir, 'vrn505Alt.dat')]


def replay_time_of_altitude(table, written, guess):
    """The replay time (rows from row 0) whose interpolated altitude is the one written,
    by Newton's steps from a guess; None where the altitude stands too still to tell."""
    def at(x):
        row = math.floor(x)
        p = [table[min(max(r, 0), len(table) - 1)] for r in range(row - 1, row + 3)]
        return catmull_rom(x - row, *p)
    h, x = 1e-4, guess
    for _ in range(4):
        slope = (at(x + h) - at(x - h)) / (2 * h)
        if abs(slope) < 1e4:  # under one unit in 0.1 ms
            return None
        x -= (at(x) - written) / slope
    return x


def exchanges(log):
    """(exchange number, its records, the pump's frame) in the order served."""
    out, current, frames = [], None, {}
    for line in log:
        if line.get('op') == 'exchange':
            frames[line['exchange']] = line.get('frame', 0)
        if line.get('op') not in ('read', 'write'):
            continue
        if current is None or current[0] != line['exchange']:
            current = (line['exchange'], [])
            out.append(current)
        current[1].append(line)
    return [(number, records, frames.get(number, 0)) for number, records in out]


def is_exit_writes(records):
    """The replay's exit: the blank caption, the only exchange of caption writes alone."""
    return all(r['op'] == 'write' and int(r['offset'], 16) in (0x3380, 0x32FA) for r in records)


def is_placement(records):
    """Start's placement from the dialog's thread: the pause and the heading written, nothing
    read. It can come after the replay thread's first frame; the thread does not count it."""
    offsets = {int(r['offset'], 16) for r in records}
    return (all(r['op'] == 'write' for r in records) and OFFSET['pause'] in offsets
            and OFFSET['heading'] in offsets)


def runs_on(records):
    """Whether the frame exchange found the simulator running: its pause and menu reads 0."""
    return all(int(r['bytes'], 16) == 0 for r in records
               if r['op'] == 'read' and int(r['offset'], 16) in (0x0264, 0x3365))


def stand_in_figures(replay, table):
    """The figures as the stand-in saw them (figures.py's rules), and for each frame exchange
    from the replay's first clock reading on (recording seconds of its clock read, applied
    lag in seconds or None). The replay time follows the replay's rules: nothing added for a
    reading that is not a number or one a second or more back, the overshoot carried at a
    row's end. The frames a step spans are the stand-in pump's own."""
    figures = Figures()
    if not replay.rows:
        return [], figures
    row, fraction, last, started = replay.rows[0][0] - FIRST_ROW_SECOND, 0.0, 0.0, False
    lags, rows, first_frame, last_frame, last_ran = [], set(), None, 0, False
    for number, records, frame in exchanges(replay.log):
        if first_frame is not None and not is_exit_writes(records) and not is_placement(records):
            figures.exchanges += 1
        clock = [r for r in records if r['op'] == 'read' and int(r['offset'], 16) == 0x0310]
        if not clock:
            continue
        reading = value(clock[0], '<d')
        if not started:
            started = len(records) == 1  # the thread's own first reading
            last = reading
            continue
        reading = reading if math.isfinite(reading) else last
        ran, last = reading - last, reading
        if ran > -1.0:
            fraction = ran + fraction
        altitude = [r for r in records if r['op'] == 'write' and int(r['offset'], 16) == OFFSET['altitude']]
        if altitude:
            if first_frame is None:
                first_frame, figures.exchanges = number, 1
            running = runs_on(records)
            continues = figures.frames > 0 and last_ran and running
            figures.count_step(frame - last_frame if continues else -1)
            last_frame, last_ran = frame, running
            clock_time = row + fraction
            values_time = replay_time_of_altitude(table, value(altitude[0], '<q'), clock_time)
            lag = None if values_time is None else values_time - clock_time
            figures.count_frame(figures.frames + 1, lag)
            lags.append((FIRST_ROW_SECOND + clock_time, lag))
            rows.add(row)
        if fraction >= 1.0:
            row += 1
            fraction = fraction - 1.0 if fraction - 1.0 < 1.0 else 0.0
    figures.rows = len(rows)
    return lags, figures


def sync_errors(replay, plays):
    """Each clip's last Play before its row began, against the moment the row began."""
    entries = {seconds: real for seconds, _, real in replay.rows}
    clips = sorted({int(m.group(1)) for _, f in plays for m in [re.search(r'(\d+)\.ogg$', f)] if m})
    results = []
    for tc in clips:
        seconds = time_code_seconds(tc)
        if seconds not in entries:
            continue
        name = '%d.ogg' % tc
        before = [ms for ms, f in plays if f.endswith(name) and ms <= entries[seconds] + 500]
        if before:
            results.append((tc, before[-1] - entries[seconds]))
    return results


def unwrapped_breaks(xs, ys):
    """A heading series with gaps where it crosses north, so no line spans the plot."""
    out_x, out_y = [], []
    for i, (x, y) in enumerate(zip(xs, ys)):
        if i and abs(y - ys[i - 1]) > 180:
            out_x.append(x)
            out_y.append(float('nan'))
        out_x.append(x)
        out_y.append(y)
    return out_x, out_y


def plot(replay, data_dir, out_dir, plays_at):
    recorded = {
        'heading': (read_channel(data_dir, 'vrn505Heading.dat'), 'heading (deg)', 1),
        'pitch': (read_channel(data_dir, 'vrn505Pitch.dat'), 'pitch (deg)', 2),
        'bank': (read_channel(data_dir, 'vrn505Roll.dat'), 'bank (deg)', 3),
        'altitude': (read_channel(data_dir, 'vrn505Alt.dat'), 'altitude (ft)', 4),
        'airspeed': (read_channel(data_dir, 'vrn505Tas.dat'), 'true airspeed (kt)', None),
    }
    first = replay.rows[0][0] if replay.rows else FIRST_ROW_SECOND
    last = replay.rows[-1][0] + 1 if replay.rows else first + 60
    figure, axes = plt.subplots(len(recorded), 1, figsize=(12, 14), sharex=True)
    for axis, (name, (rows, label, column)) in zip(axes, recorded.items()):
        xs = [s / 60.0 for s, _ in rows if first - 1 <= s <= last + 1]
        ys = [v for s, v in rows if first - 1 <= s <= last + 1]
        if name == 'heading':
            xs, ys = unwrapped_breaks(xs, ys)
        axis.plot(xs, ys, color='0.6', linewidth=3, label='recorded')
        if column is None:
            flown = replay.speeds
            axis.plot([t / 60.0 for t, _ in flown], [v for _, v in flown], color='tab:blue',
                      linewidth=0.8, label='flown (read by the speed hold)')
        else:
            fx = [f[0] / 60.0 for f in replay.frames]
            fy = [f[column] for f in replay.frames]
            if name == 'heading':
                fx, fy = unwrapped_breaks(fx, fy)
            axis.plot(fx, fy, color='tab:blue', linewidth=0.8, label='flown (written each frame)')
        axis.set_ylabel(label)
        for t, _ in replay.events:
            axis.axvline(t / 60.0, color='tab:red', linewidth=0.6)
        for t, _ in replay.captions:
            if t is not None:
                axis.axvline(t / 60.0, color='tab:green', linewidth=0.4, alpha=0.5)
        for t in plays_at:
            axis.axvline(t / 60.0, color='tab:purple', linewidth=0.4, alpha=0.5, linestyle=':')
        axis.grid(alpha=0.3)
    axes[0].legend(loc='upper right')
    axes[-1].set_xlabel('recording clock (minutes); red: events, green: captions, '
                        'purple: clip starts')
    figure.suptitle('VRN505 Ostavin demo: recorded against flown')
    figure.tight_layout()
    path = os.path.join(out_dir, 'flight.png')
    figure.savefig(path, dpi=90)
    plt.close(figure)
    return path


def plot_pace(replay, lags, out_dir):
    pace = replay.pace()
    figure, axes = plt.subplots(3, 1, figsize=(12, 9), sharex=True)
    xs = [seconds / 60.0 for seconds, _, _ in pace]
    axes[0].plot(xs, [rate for _, rate, _ in pace], color='tab:blue', linewidth=0.8)
    axes[0].set_ylabel('replay frames per\nsimulated second')
    axes[1].plot(xs, [behind for _, _, behind in pace], color='tab:orange', linewidth=0.8)
    axes[1].set_ylabel('behind the simulator\'s\nclock (s)')
    shown = [(t, lag) for t, lag in lags if lag is not None]
    axes[2].plot([t / 60.0 for t, _ in shown], [1000 * lag for _, lag in shown],
                 color='tab:green', linewidth=0.6)
    axes[2].set_ylabel('applied lag (ms):\nvalues less clock')
    axes[2].set_xlabel('recording clock (minutes); pace per row, applied lag per frame')
    for axis in axes:
        axis.grid(alpha=0.3)
    figure.suptitle('VRN505 Ostavin demo: pace of the replay')
    figure.tight_layout()
    path = os.path.join(out_dir, 'pace.png')
    figure.savefig(path, dpi=90)
    plt.close(figure)
    return path


def lag_rows(lags, figures):
    """The summary's rows for the applied lag, the first two frames apart: they fly before
    the replay knows a step between two running readings."""
    if not figures.lags:
        return []
    start = ', '.join('%.1f' % (1000 * abs(lag)) if lag is not None else '-' for _, lag in lags[:2])
    return ['| simulator frames that got new values | %.3f of those spanned by the frame exchanges |' % figures.fresh(),
            '| applied lag (values less clock), mean size | %.1f ms |' % figures.lag_mean_ms(),
            '| applied lag, worst | %.1f ms (the first two frames, apart: %s ms) |' % (figures.lag_worst_ms(), start)]


# The two observers must agree on these: (name, the stand-in's, the program's, tolerance).
def agreement(figures, program):
    return [('rows', figures.rows, int(program['rows']), 0),
            ('frames', figures.frames, int(program['frames']), 0),
            ('exchanges', figures.exchanges, int(program['exchanges']), 0),
            ('exchanges per frame', figures.exchanges_per_frame(),
             float(program['exchanges_per_frame']), 0.0005),
            ('simulator frames that got new values', figures.fresh(), float(program['fresh']), 0.03),
            ('applied lag, mean size (ms)', figures.lag_mean_ms(), float(program['lag_mean_ms']), 2.0),
            ('applied lag, worst (ms)', figures.lag_worst_ms(), float(program['lag_worst_ms']), 2.0)]


def observer_rows(figures, program):
    """The summary's table of both observers, and the names of the figures that disagree."""
    if program is None:
        return ['', 'The program\'s flight log holds no replay summary.'], ['program log']
    out = ['', '## The program\'s own log beside the stand-in\'s', '',
           '| Figure | Stand-in | Program | Agree |', '|---|---|---|---|']
    failed = []
    for name, seen, told, tolerance in agreement(figures, program):
        agree = abs(seen - told) <= tolerance + 1e-9
        if not agree:
            failed.append(name)
        shown = ('%d' % seen, '%d' % told) if isinstance(seen, int) else ('%.3f' % seen, '%.3f' % told)
        out.append('| %s | %s | %s | %s |' % (name, shown[0], shown[1], 'yes' if agree else 'NO'))
    out.append('| clock steps of no frame, one, two or more (program) | %s | | |' % ' / '.join(
        program.get(k, '-') for k in ('steps0', 'steps1', 'steps2')))
    return out, failed


def summary(replay, syncs, lags, figures, out_dir, settings, program=None):
    flown_rows = len(replay.rows)
    start_clock = replay.resume['clock'] if replay.resume else 0.0
    end_clock = replay.end['clock'] if replay.end else replay.log[-1]['clock']
    simulated = max(end_clock - start_clock, 1e-9)
    frames = figures.frames
    drifts = []
    if len(replay.rows) > 1:
        first_seconds, first_clock, _ = replay.rows[1]
        for seconds, clock, _ in replay.rows[1:]:
            drifts.append((clock - first_clock) - (seconds - first_seconds))
    out = ['# VRN505 Ostavin demo replay', '']
    out.append('Measured in this run from the simulator stand-in\'s log and the stand-in '
               'Vox.dll\'s call log.')
    if settings:
        out += ['', 'Run: ' + settings + '.']
    out.append('')
    out.append('| Figure | Value |')
    out.append('|---|---|')
    if replay.rows:
        out.append('| rows flown | %d (%s to %s) |' % (flown_rows, clock_text(replay.rows[0][0]),
                                                       clock_text(replay.rows[-1][0])))
    out.append('| unexpected records | %d |' % len(replay.unexpected))
    out.append('| simulated seconds from resume to the end | %.1f |' % simulated)
    out.append('| replay frames | %d |' % frames)
    out.append('| replay frames per simulated second | %.2f |' % (frames / simulated))
    if frames:
        out.append('| exchanges per frame | %.3f |' % figures.exchanges_per_frame())
    out += lag_rows(lags, figures)
    if drifts:
        out.append('| behind the simulator\'s clock at the end | %.2f s |' % drifts[-1])
        out.append('| most behind during the replay | %.2f s |' % max(drifts))
    if syncs:
        worst = max(syncs, key=lambda s: abs(s[1]))
        out.append('| clips started | %d |' % len(syncs))
        out.append('| worst clip sync error | %+.1f ms (clip %d) |' % (worst[1], worst[0]))
    failed = []
    if program is not False:
        rows, failed = observer_rows(figures, program)
        out += rows
    out += ['', '![recorded against flown](flight.png)', '',
            '![replay frames per simulated second, how far behind the simulator\'s clock, '
            'and the applied lag]'
            '(pace.png)', '', '## Scheduled events', '',
            '| Recording clock | Event |', '|---|---|']
    for t, text in replay.events:
        out.append('| %s | %s |' % (clock_text(t), text))
    out += ['', '## Captions shown', '', '| Recording clock | Caption |', '|---|---|']
    for t, text in replay.captions:
        out.append('| %s | %s |' % (clock_text(t) if t is not None else '-',
                                    text.replace('|', '/').replace('\n', ' / ')))
    out += ['', '## Clip starts', '',
            'The effective start of a clip is its last Play before the replay entered its row; '
            'the error is that Play\'s time less the moment of the row\'s entry, taken as the '
            'moment the simulator saw the row\'s clock in its title (negative: before).', '', '| Clip | Sync error (ms) |', '|---|---|']
    for tc, error in syncs:
        out.append('| %s | %+.1f |' % (clock_text(time_code_seconds(tc)), error))
    path = os.path.join(out_dir, 'summary.md')
    with open(path, 'w', encoding='utf-8') as f:
        f.write('\n'.join(out) + '\n')
    return path, failed


def demo_report(sim_log, vox_log, data_dir, out_dir, settings, program_log):
    os.makedirs(out_dir, exist_ok=True)
    replay = Replay(read_log(sim_log))
    plays = read_vox(vox_log)
    syncs = sync_errors(replay, plays)
    plays_at = [time_code_seconds(tc) + error / 1000.0 for tc, error in syncs]
    plot(replay, data_dir, out_dir, plays_at)
    lags, figures = stand_in_figures(replay, altitude_units(data_dir))
    plot_pace(replay, lags, out_dir)
    program = False  # no log given
    if program_log:
        _, replays = program_replays(read_program_log(program_log))
        program = replays[-1]['summary'] if replays else None
    path, failed = summary(replay, syncs, lags, figures, out_dir, settings, program)
    print(open(path, encoding='utf-8').read().split('\n![')[0])
    # A record the stand-in did not expect of the program fails the demo, and so does a
    # program log that tells another replay than the stand-in saw.
    for line in replay.unexpected:
        print('unexpected record: exchange %d, %s %s size %d: %s' % (
            line['exchange'], line['record'], line['offset'], line['size'], line['meaning']),
            file=sys.stderr)
    for name in failed:
        print('the program\'s log and the stand-in\'s disagree: %s' % name, file=sys.stderr)
    if replay.unexpected or failed:
        sys.exit(1)


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument('logs', nargs='*')
    parser.add_argument('--program-log')
    parser.add_argument('--out')
    args = parser.parse_args()
    if args.program_log and args.out and not args.logs:
        program_report.write(args.program_log, args.out)
    elif len(args.logs) in (4, 5) and not args.out:
        settings = args.logs[4] if len(args.logs) == 5 else ''
        demo_report(*args.logs[:4], settings, args.program_log)
    else:
        sys.exit(__doc__)


if __name__ == '__main__':
    main()
