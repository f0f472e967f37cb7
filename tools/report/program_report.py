"""The report of a flight log alone (VRN505Ostavin.log, as a user sends it): summary.md,
pace.png (frames, lag and how far behind, per row) and steps.png (the clock steps), with the
figures the program counted (figures.py says how)."""
import os
import sys

import matplotlib

matplotlib.use('Agg')
import matplotlib.pyplot as plt  # noqa: E402

from figures import program_replays, read_program_log  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
from ostavin_recording import clock_text, time_code_seconds  # noqa: E402


def tc_text(tc):
    try:
        return clock_text(time_code_seconds(int(tc)))
    except ValueError:
        return str(tc)


def fields_text(fields, keys):
    return ', '.join('%s %s' % (k, fields[k]) for k in keys if k in fields)


SUMMARY_ROWS = [('rows', 'rows flown'), ('frames', 'frame exchanges'),
                ('exchanges', 'exchanges from the first frame on'),
                ('exchanges_per_frame', 'exchanges per frame'),
                ('fresh', 'simulator frames that got new values (from the clock steps)'),
                ('steps0', 'clock steps of no frame'), ('steps1', 'clock steps of one frame'),
                ('steps2', 'clock steps of two frames or more'),
                ('lag_mean_ms', 'applied lag, mean size (ms)'),
                ('lag_worst_ms', 'applied lag, worst (ms)'),
                ('behind_s', 'behind the simulator\'s clock at the end (s)'),
                ('clips', 'clips started')]


def replay_section(replay):
    r = replay['replay']
    out = ['', '## Replay %s from %s' % (r.get('n', '?'), tc_text(r.get('start', '-'))), '',
           'Options: ' + fields_text(r, ('voice', 'captions', 'latlon')) + '.', '']
    window = replay['window']
    if window:
        out.append('Simulator window: %s, title "%s".' % (
            'found' if window.get('found') == '1' else 'not found', window.get('title', '')))
        out.append('')
    summary = replay['summary']
    if summary:
        out += ['| Figure | Value |', '|---|---|']
        out += ['| %s | %s |' % (text, summary[key]) for key, text in SUMMARY_ROWS if key in summary]
    else:
        out.append('No summary: the program ended before this replay did.')
    if replay['pauses']:
        out += ['', '| Pause or menu | At | Seconds |', '|---|---|---|']
        out += ['| %s | %s | %s |' % (w, tc_text(f.get('tc', '-')), f.get('s', '-'))
                for w, f in replay['pauses']]
    if replay['clips']:
        out += ['', '| Clip | Start against its row (ms) |', '|---|---|']
        out += ['| %s | %s |' % (tc_text(f.get('tc', '-')), f.get('sync_ms', '-'))
                for f in replay['clips']]
    if replay['faults']:
        out += ['', '| Fault | Link result |', '|---|---|']
        out += ['| %s | %s |' % (f.get('what', '-'), f.get('result', '-')) for f in replay['faults']]
    return out


def plot_pace(replays, out_dir):
    rows = [row for replay in replays for row in replay['rows']]
    xs = [time_code_seconds(int(row['tc'])) / 60.0 for row in rows]
    figure, axes = plt.subplots(3, 1, figsize=(12, 9), sharex=True)
    axes[0].plot(xs, [int(row['frames']) for row in rows], '.', color='tab:blue', markersize=2)
    axes[0].set_ylabel('frame exchanges\nper row')
    axes[1].plot(xs, [float(row['behind_s']) for row in rows], color='tab:orange', linewidth=0.8)
    axes[1].set_ylabel('behind the simulator\'s\nclock (s)')
    axes[2].plot(xs, [float(row['lag_mean_ms']) for row in rows], color='tab:green',
                 linewidth=0.6, label='mean size')
    axes[2].plot(xs, [float(row['lag_worst_ms']) for row in rows], color='tab:red',
                 linewidth=0.6, label='worst')
    axes[2].set_ylabel('applied lag (ms)')
    axes[2].legend(loc='upper right')
    axes[2].set_xlabel('recording clock (minutes), per row')
    for axis in axes:
        axis.grid(alpha=0.3)
    figure.suptitle('VRN505 Ostavin flight log: pace of the replay')
    figure.tight_layout()
    figure.savefig(os.path.join(out_dir, 'pace.png'), dpi=90)
    plt.close(figure)


def plot_steps(replays, out_dir):
    counts = [0, 0, 0]
    for replay in replays:
        for row in replay['rows']:
            for i in range(3):
                counts[i] += int(row.get('steps%d' % i, 0))
    figure, axis = plt.subplots(figsize=(6, 4))
    axis.bar(['no frame', 'one frame', 'two or more'], counts, color='tab:blue')
    for i, count in enumerate(counts):
        axis.text(i, count, str(count), ha='center', va='bottom')
    axis.set_ylabel('frame exchanges')
    axis.set_title('clock steps between frame exchanges')
    figure.tight_layout()
    figure.savefig(os.path.join(out_dir, 'steps.png'), dpi=90)
    plt.close(figure)


def write(log_path, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    program, replays = program_replays(read_program_log(log_path))
    out = ['# VRN505 Ostavin flight log', '', 'From %s.' % os.path.basename(log_path), '']
    out.append('Program: ' + fields_text(program['start'], ('version', 'windows', 'codepage', 'time')) + '.')
    out.append('Link: ' + fields_text(program['link'], ('result', 'fsuipc', 'sim', 'server', 'message')) + '.')
    for fault in program['faults']:
        out.append('Fault: %s, link result %s.' % (fault.get('what', '-'), fault.get('result', '-')))
    for replay in replays:
        out += replay_section(replay)
    out += ['', 'Exit: %s.' % program['exit'].get('reason', 'not logged (the program did not end)')]
    out += ['', '![frames, lag and how far behind, per row](pace.png)', '',
            '![clock steps](steps.png)']
    plot_pace(replays, out_dir)
    plot_steps(replays, out_dir)
    path = os.path.join(out_dir, 'summary.md')
    with open(path, 'w', encoding='utf-8') as f:
        f.write('\n'.join(out) + '\n')
    print(open(path, encoding='utf-8').read().split('\n![')[0])
