"""The figures of a replay, by the flight log's definitions: src/log/flight_log.h and
src/log/replay_figures.cpp define them, and tools/figures/stand_in_figures.cpp counts them
from the in-process stand-in. These are the same rules, for the stand-in's log; and the
reader of the program's own log.

Frame exchanges are the exchanges that write the channel values. A step counts between two
frame exchanges in a row that both found the simulator running; a frame exchange without one
begins a run. Over each run the simulator's frames from its first frame exchange to its last
are spanned, and those that served a frame exchange got new values (fresh). The applied lag
of a frame is the replay time its values were computed for less the replay time of the clock
read in the same exchange; its mean and worst size leave out the first START_FRAMES frames.
Exchanges count from the first frame exchange to the replay's last, its exit writes left
out; rows count those with a frame exchange.
"""
import math
import re

START_FRAMES = 2


class Figures:
    def __init__(self):
        self.rows = self.frames = self.exchanges = 0
        self.steps = [0, 0, 0]
        self.fresh_frames = self.spanned_frames = 0
        self.lags = 0
        self.lag_sum = self.lag_worst = 0.0

    def count_step(self, frames_advanced):
        """frames_advanced: the simulator's frames since the previous frame exchange, or -1
        where a run begins."""
        if frames_advanced < 0:
            self.fresh_frames += 1
            self.spanned_frames += 1
            return
        self.steps[min(frames_advanced, 2)] += 1
        self.spanned_frames += frames_advanced
        self.fresh_frames += frames_advanced > 0

    def count_frame(self, frame, lag):
        """frame: the replay's frame number, 1 for the first; lag in seconds or None."""
        self.frames += 1
        if frame <= START_FRAMES or lag is None or not math.isfinite(lag):
            return
        self.lags += 1
        self.lag_sum += abs(lag)
        self.lag_worst = max(self.lag_worst, abs(lag))

    def fresh(self):
        return self.fresh_frames / self.spanned_frames if self.spanned_frames else 0.0

    def exchanges_per_frame(self):
        return self.exchanges / self.frames if self.frames else 0.0

    def lag_mean_ms(self):
        return 1000 * self.lag_sum / self.lags if self.lags else 0.0

    def lag_worst_ms(self):
        return 1000 * self.lag_worst


# ---- The program's log ----------------------------------------------------------------------

FIELD = re.compile(r'(\w+)=("[^"]*"|\S*)')


def parse_line(text):
    """(leading word, {key: value}) of one record; quoted values lose their quotes."""
    text = text.strip()
    if not text:
        return None
    word, _, rest = text.partition(' ')
    fields = {k: v[1:-1] if v.startswith('"') else v for k, v in FIELD.findall(rest)}
    return word, fields


def read_program_log(path):
    with open(path, encoding='utf-8', errors='replace') as f:
        return [r for r in (parse_line(t) for t in f) if r]


def program_replays(records):
    """Each replay of a program log: its 'replay' fields, its rows, pauses, menus, clips,
    faults and summary, in order. Records before the first replay go to 'program'."""
    program = {'start': {}, 'link': {}, 'faults': [], 'exit': {}}
    replays = []
    for word, fields in records:
        if word == 'replay':
            replays.append({'replay': fields, 'window': {}, 'rows': [], 'pauses': [],
                            'clips': [], 'faults': [], 'summary': None})
            continue
        current = replays[-1] if replays else None
        if word in ('start', 'link', 'exit'):
            program[word] = fields
        elif current is None:
            if word == 'fault':
                program['faults'].append(fields)
        elif word == 'window':
            current['window'] = fields
        elif word == 'row':
            current['rows'].append(fields)
        elif word in ('pause', 'menu'):
            current['pauses'].append((word, fields))
        elif word == 'clip':
            current['clips'].append(fields)
        elif word == 'fault':
            current['faults'].append(fields)
        elif word == 'summary':
            current['summary'] = fields
    return program, replays
