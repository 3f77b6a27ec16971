#!/usr/bin/env python3
"""Benchmark and bit-identity check of the plug-in, through the LumatraZT host program.

    bench/run_benchmark.py checksums [--write]
    bench/run_benchmark.py run [standard] [long] [linearity] [memory] [threads]
                               [hour] [ordering1] [brainvision] [brainvision-memory]

`checksums` generates a fixed set of small recordings (sample orderings 1 and 2,
data types 1, 3, 4 and 5), corrects each with the host's plain product (loops that
sum in a fixed order, so the bits depend on the plug-in alone) and compares the
sha256 of every file with bench/expected-checksums.txt.  `--write` records them
instead; do that only from a build whose results are known good.

`run` generates recordings of the sizes below with `LumatraZT generate`, corrects
them with the default settings (500 ms / 1200 ms, 100 artifacts per segment,
3 components), and reports wall time, throughput, peak resident memory of the
whole host process, its user and system CPU time, where the time goes (from a
second build with KORU_PROFILE=ON) and, on the same files in the same session,
the time of the NumPy reference, run alternately with ours (one pair per
repeat; the ratio of every pair is printed beside the medians).

`hour` times the long recording and one three times as long (60 min, 4.6 GB,
removed again afterwards); `ordering1` the long recording and a copy of it
stored channel after channel (sample ordering 1).

`brainvision` writes the standard recording once more as a BrainVision copy
(16-bit integers, multiplexed, each channel's resolution covering its range)
and times the whole run on it against the run on the CTC file, in pairs run
back to back; `brainvision-memory` takes the peak resident memory of a whole
run on a BrainVision copy of about 1.5 GB.

Only the Python standard library is used here; the reference needs Debian's
python3-numpy.
"""

import argparse
import array
import hashlib
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

REPOSITORY = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CHECKSUM_FILE = os.path.join(REPOSITORY, 'bench', 'expected-checksums.txt')
REFERENCE = os.path.join(os.path.dirname(REPOSITORY), 'shared', 'bench', 'obs_numpy.py')
SYSTEM_PYTHON = '/usr/bin/python3'

# The bit-identity set: small enough that generating and correcting all of it takes
# well under a minute with the plain product, varied enough to reach every path
# (scaled types, interleaved files, a partial last segment, windows cut off at the
# end of the recording, and non-default settings).
SIZES = {
    'small': '--channels 4 --sampling-rate 500 --duration 240 --seed 11',
    'medium': '--channels 12 --sampling-rate 1000 --duration 480 --seed 12',
}
DEFAULT_SETTINGS = '--pre 500 --post 1200 -a 100 -k 3'
OTHER_SETTINGS = '--pre 300 --post 700 -a 30 -k 4'


def checksum_cases():
    """(name, generate options, run options) of every bit-identity case."""
    cases = []
    for size, options in SIZES.items():
        for ordering in (1, 2):
            for data_type in (1, 3, 4, 5):
                cases.append(('%s-o%d-t%d' % (size, ordering, data_type),
                              '%s --ordering %d --data-type %d' % (options, ordering, data_type),
                              DEFAULT_SETTINGS))
    cases.append(('small-o2-t3-settings', SIZES['small'] + ' --ordering 2 --data-type 3',
                  OTHER_SETTINGS))
    return cases


# The benchmark recordings: (channels, rate in Hz, minutes, sample ordering); float.
RECORDINGS = {
    'standard': (32, 1000, 10, 2),
    'long': (64, 5000, 20, 2),
    'long-x2': (64, 5000, 40, 2),
    'long-x3': (64, 5000, 60, 2),
    'long-8': (8, 5000, 20, 2),
    'long-o1': (64, 5000, 20, 1),
}
# Recordings too large to keep in --data between runs of the script.
REMOVED_AFTERWARDS = ('long-x3',)
TARGETS = {
    'standard': ['standard'],
    'long': ['long'],
    'linearity': ['long-8', 'long'],
    'memory': ['long', 'long-x2'],
    'threads': ['long'],
    'hour': ['long', 'long-x3'],
    'ordering1': ['long', 'long-o1'],
    'brainvision': ['standard'],
    'brainvision-memory': ['long-x2'],
}


def fail(message):
    print('run_benchmark: ' + message, file=sys.stderr)
    sys.exit(1)


def host_program(build):
    path = os.path.join(build, 'hostprogram', 'LumatraZT')
    if not os.access(path, os.X_OK):
        fail('no LumatraZT in %s (build it: cmake --build %s --target LumatraZT)' % (build, build))
    return path


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, 'rb') as stream:
        for block in iter(lambda: stream.read(1 << 20), b''):
            digest.update(block)
    return digest.hexdigest()


def generate(program, folder, name, options):
    command = [program, 'generate', '--directory', folder, '--name', name] + options.split()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        fail('generating %s failed: %s' % (name, result.stderr.strip()))


def run_host(program, folder, name, options, module=None, recording=None):
    """Runs the plug-in on folder/name.ctc (or on the recording given, with name's protocol);
    returns (wall seconds, peak RSS in KiB, stderr, (user, system) CPU seconds)."""
    command = [program, '--batch', '-i', recording or name + '.ctc',
               '-p', name + '.prt'] + options.split()
    if module:
        command += ['--module', module]
    return timed(command, folder, 'LumatraZT on ' + name)


def measuring_environment():
    """The environment of every timed program, ours and the reference alike.

    Settings that force OpenBLAS onto a given CPU type or cache size (some
    machines set them for other tools) are left out, so that both OpenBLAS
    users, LumatraZT and NumPy, run the kernels the library picks for the CPU.
    """
    environment = dict(os.environ)
    for name in ('OPENBLAS_CORETYPE', 'OPENBLAS_L2_SIZE'):
        environment.pop(name, None)
    return environment


def timed(command, folder, what):
    """Runs command in folder; returns (wall seconds, peak RSS of the child in KiB, stderr,
    (user, system) CPU seconds of the child)."""
    with tempfile.TemporaryFile(mode='w+') as errors:
        start = time.perf_counter()
        child = subprocess.Popen(command, cwd=folder, stdout=subprocess.DEVNULL, stderr=errors,
                                 env=measuring_environment())
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.perf_counter() - start
        child.returncode = os.waitstatus_to_exitcode(status)
        errors.seek(0)
        text = errors.read()
    if child.returncode != 0:
        fail('%s failed (exit status %d): %s' % (what, child.returncode, text.strip()[-2000:]))
    return seconds, usage.ru_maxrss, text, (usage.ru_utime, usage.ru_stime)


# ---------------------------------------------------------------- bit identity


def read_expected():
    """Case definitions and expected digests from the checksum file."""
    cases, digests = [], {}
    with open(CHECKSUM_FILE) as stream:
        for line in stream:
            line = line.strip()
            if not line or line.startswith('#'):
                continue
            if line.startswith('case '):
                name, rest = line[5:].split(':', 1)
                generate_options, run_options = rest.split(';')
                cases.append((name.strip(), generate_options.strip(), run_options.strip()))
            else:
                digest, file_name = line.split()
                digests[file_name] = digest
    return cases, digests


def produce(program, folder, cases, module):
    """Generates and corrects every case; returns {file name: sha256}."""
    digests = {}
    for name, generate_options, run_options in cases:
        generate(program, folder, name, generate_options)
        run_host(program, folder, name, '--product plain ' + run_options, module)
        for file_name in (name + '.ctc', name + '_OBS.ctc', name + '_R-peaks.trl'):
            path = os.path.join(folder, file_name)
            if not os.path.exists(path):
                fail('the run of %s left no %s' % (name, file_name))
            digests[file_name] = sha256_of(path)
        for file_name in os.listdir(folder):
            os.remove(os.path.join(folder, file_name))
        print('  %-22s done' % name, flush=True)
    return digests


def build_source(build):
    """The commit a build tree was made from, as 'abc1234 subject' (or 'unknown')."""
    source = REPOSITORY
    try:
        with open(os.path.join(build, 'CMakeCache.txt')) as cache:
            for line in cache:
                if line.startswith('CMAKE_HOME_DIRECTORY:'):
                    source = line.split('=', 1)[1].strip()
    except OSError:
        pass
    result = subprocess.run(['git', '-C', source, 'log', '-1', '--format=%h %s'],
                            capture_output=True, text=True)
    dirty = subprocess.run(['git', '-C', source, 'status', '--porcelain', '--untracked-files=no'],
                           capture_output=True, text=True).stdout.strip()
    return (result.stdout.strip() or 'unknown') + (' (with uncommitted changes)' if dirty else '')


def write_checksums(digests, cases, build, note):
    with open(CHECKSUM_FILE, 'w') as stream:
        stream.write('# sha256 of the recordings made by `LumatraZT generate` with the options\n'
                     '# after "case NAME:", and of the files the plug-in writes when LumatraZT\n'
                     '# runs it with `--batch --product plain` and the options after ";".\n'
                     '# Recorded from a build of: %s\n' % build_source(build))
        if note:
            stream.write('# %s\n' % note)
        stream.write('# Check a build: bench/run_benchmark.py [--build DIR] checksums\n')
        for name, generate_options, run_options in cases:
            stream.write('case %s: %s ; %s\n' % (name, generate_options, run_options))
        for file_name in sorted(digests):
            stream.write('%s  %s\n' % (digests[file_name], file_name))


def checksums(arguments):
    program = host_program(arguments.build)
    with tempfile.TemporaryDirectory(prefix='koru-checksums-', dir=arguments.data) as folder:
        if arguments.write:
            cases = checksum_cases()
            digests = produce(program, folder, cases, arguments.module)
            write_checksums(digests, cases, arguments.build, arguments.note)
            print('wrote %d checksums to %s' % (len(digests), CHECKSUM_FILE))
            return 0
        cases, expected = read_expected()
        digests = produce(program, folder, cases, arguments.module)
    differing = sorted(f for f in expected if digests.get(f) != expected[f])
    for file_name in differing:
        kind = 'input' if file_name.endswith('.ctc') and '_OBS' not in file_name else 'output'
        print('DIFFERS (%s): %s' % (kind, file_name))
    if differing:
        print('%d of %d files differ from %s' % (len(differing), len(expected),
                                                 os.path.relpath(CHECKSUM_FILE)))
        return 1
    print('all %d files bit-identical to %s' % (len(expected), os.path.relpath(CHECKSUM_FILE)))
    return 0


# ---------------------------------------------------------------- benchmark


PROFILE_LINE = re.compile(
    r'KORU profile: correction ([\d.]+) s in (\d+) segments: window reads ([\d.]+) s, '
    r'window writes ([\d.]+) s, product ([\d.]+) s, eigen-decomposition ([\d.]+) s, '
    r'other segment work ([\d.]+) s, outside segments ([\d.]+) s')


def ensure_recording(program, data, name):
    """Generates data/name.ctc once; later runs of the script reuse it."""
    channels, rate, minutes, ordering = RECORDINGS[name]
    path = os.path.join(data, name + '.ctc')
    if os.path.exists(path) and os.path.exists(os.path.join(data, name + '_triggers.txt')):
        return path
    needed = channels * rate * minutes * 60 * 4
    free = shutil.disk_usage(data).free
    if free < 3.2 * needed:  # the recording, our output and the reference's
        fail('%s needs about %.1f GB free in %s (%.1f GB there)'
             % (name, 3.2 * needed / 1e9, data, free / 1e9))
    print('generating %s: %d channels, %d Hz, %d min, float, ordering %d (%.2f GB) ...'
          % (name, channels, rate, minutes, ordering, needed / 1e9), flush=True)
    generate(program, data, name, '--channels %d --sampling-rate %d --duration %d '
             '--ordering %d --data-type 1' % (channels, rate, minutes * 60, ordering))
    # A run right after the generation would share the machine with the kernel
    # still writing the new file out (seen as a third more time on the 60-minute
    # recording); the timings start once it is on disk.
    os.sync()
    return path


def reference_available():
    return (os.path.exists(REFERENCE) and
            subprocess.run([SYSTEM_PYTHON, '-c', 'import numpy'],
                           capture_output=True).returncode == 0)


def run_reference(data, name):
    output = os.path.join(data, name + '_numpy.ctc')
    command = [SYSTEM_PYTHON, REFERENCE, name + '.ctc', name + '_numpy.ctc',
               name + '_triggers.txt']
    seconds, peak, _, cpu = timed(command, data, 'the NumPy reference on ' + name)
    os.remove(output)
    return seconds, peak, cpu


def occurrences(data, name):
    with open(os.path.join(data, name + '_triggers.txt')) as stream:
        return sum(1 for line in stream if line.strip())


def measure(arguments, program, name, threads=None):
    """Runs ours (and the reference) on one recording; returns a dict of figures."""
    data = arguments.data
    ensure_recording(program, data, name)
    channels, rate, minutes, _ = RECORDINGS[name]
    samples = rate * minutes * 60
    figures = {'name': name, 'channels': channels, 'occurrences': occurrences(data, name),
               'channel_samples': channels * samples}
    options = DEFAULT_SETTINGS + ' --timings ' + arguments.host_options
    if threads:
        options += ' --blas-threads %d' % threads
    walls, peaks, cpus = [], [], []
    reference_walls, reference_cpus = [], []
    for _ in range(arguments.repeat):
        seconds, peak, errors, cpu = run_host(program, data, name, options)
        remove_files([os.path.join(data, name + '_OBS.ctc')])
        walls.append(seconds)
        peaks.append(peak)
        cpus.append(cpu)
        match = re.search(r'matrix products ([\d.]+) s', errors)
        figures['host_product'] = float(match.group(1)) if match else None
        if arguments.reference:
            seconds, peak, cpu = run_reference(data, name)
            reference_walls.append(seconds)
            reference_cpus.append(cpu)
            figures['reference_peak'] = peak
    figures['wall'] = statistics.median(walls)
    figures['walls'] = walls
    figures['cpu'] = tuple(statistics.median(c[i] for c in cpus) for i in (0, 1))
    figures['system_worst'] = max(c[1] for c in cpus)
    figures['peak'] = max(peaks)
    if reference_walls:
        figures['reference'] = statistics.median(reference_walls)
        figures['reference_walls'] = reference_walls
        figures['reference_cpu'] = tuple(statistics.median(c[i] for c in reference_cpus)
                                         for i in (0, 1))
        figures['ratios'] = [ours / theirs for ours, theirs in zip(walls, reference_walls)]
    if arguments.profile_build and threads is None:
        profiled = host_program(arguments.profile_build)
        seconds, _, errors, _ = run_host(profiled, data, name, DEFAULT_SETTINGS)
        match = PROFILE_LINE.search(errors)
        if match:
            values = [float(v) for v in match.groups()]
            figures['profile'] = dict(zip(
                ('correction', 'segments', 'reads', 'writes', 'product', 'eigen', 'other',
                 'outside'), values))
            figures['profile']['wall'] = seconds
        else:
            print('  (the profiling build printed no profile line: configure it with '
                  '-DKORU_PROFILE=ON)', file=sys.stderr)
    for suffix in ('_OBS.ctc', '_R-peaks.trl'):
        path = os.path.join(data, name + suffix)
        if os.path.exists(path):
            os.remove(path)
    return figures


# A BrainVision copy of a generated recording: 16-bit integers, multiplexed,
# each channel's resolution the smallest that covers its largest magnitude.


def ctc_float_layout(path):
    """(channels, samples, rate, data offset) of an uncompressed float CTC file of ordering 2."""
    with open(path, 'rb') as stream:
        head = stream.read(32)
    _, compression, data_type, ordering, channels, samples = struct.unpack_from('<6I', head)
    rate, = struct.unpack_from('<f', head, 24)
    blocks, = struct.unpack_from('<I', head, 28)
    if compression or data_type != 1 or ordering != 2 or blocks:
        fail('%s: expected an uncompressed float recording of sample ordering 2' % path)
    return channels, samples, rate, 32


def float_blocks(path, channels, samples, start):
    """The interleaved samples of path, about a million values at a time."""
    length = max(1, (1 << 20) // channels)
    with open(path, 'rb') as stream:
        stream.seek(start)
        for first in range(0, samples, length):
            values = array.array('f')
            values.frombytes(stream.read(4 * channels * min(length, samples - first)))
            yield values


def write_brainvision_copy(ctc_path, header_path):
    channels, samples, rate, start = ctc_float_layout(ctc_path)
    peaks = [0.0] * channels
    for values in float_blocks(ctc_path, channels, samples, start):
        for channel in range(channels):
            column = values[channel::channels]
            peaks[channel] = max(peaks[channel], max(column), -min(column))
    resolutions = [peak / 32767 if peak > 0 else 1.0 for peak in peaks]
    with open(os.path.splitext(header_path)[0] + '.eeg', 'wb') as stream:
        for values in float_blocks(ctc_path, channels, samples, start):
            stored = array.array('h', bytes(2 * len(values)))
            for channel in range(channels):
                steps = (1.0 / resolutions[channel]).__mul__
                stored[channel::channels] = array.array(
                    'h', map(round, map(steps, values[channel::channels])))
            stream.write(stored.tobytes())
    write_brainvision_header(header_path, channels, rate, resolutions)


def write_brainvision_header(header_path, channels, rate, resolutions):
    """The .vhdr and an empty .vmrk of a multiplexed INT_16 recording."""
    base = os.path.splitext(header_path)[0]
    name = os.path.basename(base)
    lines = ['Brain Vision Data Exchange Header File Version 1.0', '', '[Common Infos]',
             'Codepage=UTF-8', 'DataFile=%s.eeg' % name, 'MarkerFile=%s.vmrk' % name,
             'DataFormat=BINARY', 'DataOrientation=MULTIPLEXED',
             'NumberOfChannels=%d' % channels, 'SamplingInterval=%r' % (1e6 / rate), '',
             '[Binary Infos]', 'BinaryFormat=INT_16', '', '[Channel Infos]']
    lines += ['Ch%d=E%d,,%r,\u00b5V' % (c + 1, c + 1, resolutions[c]) for c in range(channels)]
    with open(header_path, 'w', encoding='utf-8', newline='\r\n') as stream:
        stream.write('\n'.join(lines) + '\n')
    with open(base + '.vmrk', 'w', encoding='utf-8', newline='\r\n') as stream:
        stream.write('Brain Vision Data Exchange Marker File, Version 1.0\n\n[Common Infos]\n'
                     'Codepage=UTF-8\nDataFile=%s.eeg\n\n[Marker Infos]\n' % name)


def brainvision_files(base):
    return [base + extension for extension in ('.vhdr', '.eeg', '.vmrk')]


def remove_files(paths):
    for path in paths:
        if os.path.exists(path):
            os.remove(path)


def run_outputs(data, stem, brainvision):
    corrected = (brainvision_files(stem + '_OBS') if brainvision else [stem + '_OBS.ctc'])
    return [os.path.join(data, f) for f in corrected + [stem + '_R-peaks.trl']]


def brainvision_copy(arguments, program, name):
    """Generates data/name.ctc if needed and writes data/name_bv.vhdr from it."""
    ensure_recording(program, arguments.data, name)
    header = os.path.join(arguments.data, name + '_bv.vhdr')
    if not os.path.exists(header):
        started = time.perf_counter()
        write_brainvision_copy(os.path.join(arguments.data, name + '.ctc'), header)
        print('wrote %s (INT_16, multiplexed, %.2f GB) in %.0f s'
              % (os.path.basename(header),
                 os.path.getsize(os.path.splitext(header)[0] + '.eeg') / 1e9,
                 time.perf_counter() - started), flush=True)
    return header


def measure_brainvision(arguments, program):
    """Whole runs on the standard recording's CTC file and its BrainVision copy, in pairs."""
    name, data = 'standard', arguments.data
    header = brainvision_copy(arguments, program, name)
    options = DEFAULT_SETTINGS + ' ' + arguments.host_options
    runs = {'ctc': [], 'brainvision': []}
    peaks = {'ctc': 0, 'brainvision': 0}
    for _ in range(max(arguments.repeat, 3)):
        for kind, recording in (('ctc', None), ('brainvision', os.path.basename(header))):
            seconds, peak, _, _ = run_host(program, data, name, options, recording=recording)
            remove_files(run_outputs(data, name + ('_bv' if recording else ''), recording))
            runs[kind].append(seconds)
            peaks[kind] = max(peaks[kind], peak)
    ctc, brainvision = (statistics.median(runs[k]) for k in ('ctc', 'brainvision'))
    ratio = brainvision / ctc
    print('brainvision standard as CTC (float): median %.2f s (runs: %s), peak RSS %.1f MB'
          % (ctc, ' '.join('%.2f' % w for w in runs['ctc']), peaks['ctc'] / 1024.0))
    print('brainvision standard as BrainVision (INT_16): median %.2f s (runs: %s), '
          'peak RSS %.1f MB'
          % (brainvision, ' '.join('%.2f' % w for w in runs['brainvision']),
             peaks['brainvision'] / 1024.0), flush=True)
    return ('brainvision BrainVision / CTC = %.2f (medians of %d pairs; target <= 1.5): %s'
            % (ratio, len(runs['ctc']), 'met' if ratio <= 1.5 else 'NOT met'))


def stored_int16_copy(arguments, program, name):
    """A BrainVision copy of recording name, generated as 16-bit integers and copied as stored.

    Converting 1.5 GB of floats here would take many minutes in plain Python, so
    the recording is generated as data type 3 (interleaved 16-bit integers with a
    channel offset and scale) and its data part becomes the .eeg unchanged, each
    channel's resolution its scale. The channel offsets (at most 1.5 uV) are left
    out: for the memory of a run that does not matter.
    """
    channels, rate, minutes, _ = RECORDINGS[name]
    stem = name + '-int16'
    base = os.path.join(arguments.data, stem + '_bv')
    needed = channels * rate * minutes * 60 * 2
    if shutil.disk_usage(arguments.data).free < 8 * needed:  # copies, outputs, temporary files
        fail('%s needs about %.1f GB free in %s' % (stem, 8 * needed / 1e9, arguments.data))
    print('generating %s: %d channels, %d Hz, %d min, 16-bit integers, ordering 2 '
          '(%.2f GB) ...' % (stem, channels, rate, minutes, needed / 1e9), flush=True)
    generate(program, arguments.data, stem, '--channels %d --sampling-rate %d --duration %d '
             '--ordering 2 --data-type 3' % (channels, rate, minutes * 60))
    ctc_path = os.path.join(arguments.data, stem + '.ctc')
    with open(ctc_path, 'rb') as stream:
        head = stream.read(32 + 8 * channels)
        fields = struct.unpack_from('<6I', head)
        scales = struct.unpack_from('<%df' % channels, head, 28 + 4 * channels)
        blocks, = struct.unpack_from('<I', head, 28 + 8 * channels)
        if fields[1:5] != (0, 3, 2, channels) or blocks:
            fail('%s: not the layout asked for' % ctc_path)
        stream.seek(28 + 8 * channels + 4)
        with open(base + '.eeg', 'wb') as eeg:
            shutil.copyfileobj(stream, eeg, 1 << 24)
    os.remove(ctc_path)
    write_brainvision_header(base + '.vhdr', channels, rate, scales)
    return stem, base + '.vhdr'


def measure_brainvision_memory(arguments, program):
    """Peak resident memory of one whole run on a BrainVision copy of about 1.5 GB."""
    name, header = stored_int16_copy(arguments, program, 'long-x2')
    base = os.path.splitext(header)[0]
    size = os.path.getsize(base + '.eeg') / 1e9
    seconds, peak, _, _ = run_host(program, arguments.data, name, DEFAULT_SETTINGS + ' ' +
                                arguments.host_options, recording=os.path.basename(header))
    remove_files(run_outputs(arguments.data, name + '_bv', True) + brainvision_files(base) +
                 [os.path.join(arguments.data, name + suffix)
                  for suffix in ('.prt', '_triggers.txt')])
    return ('brainvision-memory peak RSS %.1f MB on %.2f GB of BrainVision (INT_16), run %.1f s '
            '(target < 256 MB): %s'
            % (peak / 1024.0, size, seconds, 'met' if peak / 1024.0 < 256 else 'NOT met'))


def describe(figures):
    lines = []
    wall = figures['wall']
    line = ('%-10s %3d ch, %5d occurrences: median %7.2f s (runs: %s), user / system CPU '
            '%.2f / %.2f s, %6.1f M channel-samples/s, peak RSS %6.1f MB'
            % (figures['name'], figures['channels'], figures['occurrences'], wall,
               ' '.join('%.2f' % w for w in figures['walls']), figures['cpu'][0],
               figures['cpu'][1], figures['channel_samples'] / wall / 1e6,
               figures['peak'] / 1024.0))
    lines.append(line)
    if 'reference' in figures:
        lines.append('%10s NumPy reference median %7.2f s (runs: %s), user / system CPU '
                     '%.2f / %.2f s, peak RSS %.1f MB; ours / reference = %.2f (pairs: %s)'
                     % ('', figures['reference'],
                        ' '.join('%.2f' % w for w in figures['reference_walls']),
                        figures['reference_cpu'][0], figures['reference_cpu'][1],
                        figures['reference_peak'] / 1024.0, wall / figures['reference'],
                        ' '.join('%.2f' % r for r in figures['ratios'])))
    profile = figures.get('profile')
    if profile:
        total = profile['wall']
        io = profile['reads'] + profile['writes']
        rest = total - io - profile['product'] - profile['eigen']
        lines.append('%10s where the time goes (profiled run, %.2f s): window I/O %.2f s '
                     '(reads %.2f, writes %.2f), product %.2f s, eigen-decomposition %.2f s, '
                     'rest %.2f s (other segment work %.2f, outside the correction: output '
                     'copy, start, close %.2f)'
                     % ('', total, io, profile['reads'], profile['writes'], profile['product'],
                        profile['eigen'], rest, profile['other'],
                        rest - profile['other']))
    return '\n'.join(lines)


def dirty_threshold(name):
    """Bytes of dirty page cache set by vm.<name>_bytes or vm.<name>_ratio."""
    with open('/proc/sys/vm/%s_bytes' % name) as f:
        limit = int(f.read())
    if limit:
        return limit
    with open('/proc/sys/vm/%s_ratio' % name) as f:
        ratio = int(f.read())
    with open('/proc/meminfo') as f:
        fields = dict(line.split(':', 1) for line in f)
    return int(fields['MemAvailable'].split()[0]) * 1024 * ratio // 100


def dirty_limit():
    """Dirty page cache up to which the kernel lets a writer run freely (halfway
    between its background and its hard limit), or None off Linux."""
    try:
        return (dirty_threshold('dirty_background') + dirty_threshold('dirty')) // 2
    except (OSError, ValueError, KeyError):
        return None


def per_channel_occurrence(figures):
    return figures['wall'] / (figures['channels'] * figures['occurrences'])


def benchmark(arguments):
    program = host_program(arguments.build)
    targets = arguments.targets or ['standard', 'long', 'linearity', 'memory']
    for target in targets:
        if target not in TARGETS:
            fail('unknown target %s (known: %s)' % (target, ', '.join(TARGETS)))
    timed_against_reference = any(not t.startswith('brainvision') for t in targets)
    if arguments.reference and timed_against_reference and not reference_available():
        fail('the NumPy reference needs %s and Debian\'s python3-numpy '
             '(apt-get install python3-numpy), or run with --no-reference' % REFERENCE)
    os.makedirs(arguments.data, exist_ok=True)
    print('host program: %s; data: %s' % (program, arguments.data))
    if arguments.profile_build:
        print('profiling build: %s' % arguments.profile_build)
    measured = {}
    summary = []

    def figures_of(name):
        if name not in measured:
            measured[name] = measure(arguments, program, name)
            print(describe(measured[name]), flush=True)
            if name in REMOVED_AFTERWARDS:
                remove_files([os.path.join(arguments.data, name + suffix)
                              for suffix in ('.ctc', '.prt', '_triggers.txt')])
        return measured[name]

    for target in targets:
        if target == 'brainvision':
            summary.append(measure_brainvision(arguments, program))
            continue
        if target == 'brainvision-memory':
            summary.append(measure_brainvision_memory(arguments, program))
            continue
        if target == 'threads':
            for threads in (1, 2):
                figures = measure(arguments, program, 'long', threads)
                how = ('1 OpenBLAS thread (the host splits each Gram product over two '
                       'threads)' if threads == 1 else '2 OpenBLAS threads')
                print('long with %s: %.2f s, of which products %.2f s'
                      % (how, figures['wall'], figures['host_product'] or 0), flush=True)
            continue
        results = [figures_of(name) for name in TARGETS[target]]
        if target in ('standard', 'long') and 'reference' in results[0]:
            figures = results[0]
            goal = 0.55 if target == 'standard' else 0.35
            worst = max(figures['ratios'])
            line = ('%-9s ours / reference = %.2f, worst pair %.2f (target <= %.2f in every '
                    'pair)' % (target, figures['wall'] / figures['reference'], worst, goal))
            met = worst <= goal
            if target == 'long':
                line += ', system CPU at most %.2f s (target < 1.5 s)' % figures['system_worst']
                met = met and figures['system_worst'] < 1.5
            summary.append(line + ': ' + ('met' if met else 'NOT met'))
        elif target == 'hour':
            long, hour = results
            ratio = hour['wall'] / long['wall']
            peak, longer = long['peak'] / 1024.0, hour['peak'] / 1024.0
            summary.append('hour      60 / 20 min: time %.2f (target <= 3.1), peak RSS %.1f / '
                           '%.1f MB (target within 10%%, < 256 MB): %s'
                           % (ratio, longer, peak,
                              'met' if ratio <= 3.1 and longer <= 1.1 * peak and longer < 256
                              else 'NOT met'))
            # An output larger than the dirty limit is partly written to disk during
            # its run; the 20-minute output is written after its run has ended.
            limit = dirty_limit()
            channels, rate, minutes, _ = RECORDINGS['long-x3']
            output = channels * rate * minutes * 60 * 4
            if limit is not None and output > limit:
                summary.append('          the 60-minute output (%.1f GB) is more than the kernel '
                               'lets a writer keep dirty (%.1f GB): part of it reached the disk '
                               'during the run' % (output / 1e9, limit / 1e9))
        elif target == 'ordering1':
            interleaved, contiguous = results
            summary.append('ordering1 ordering 1 / ordering 2 on the long recording: %.2f s / '
                           '%.2f s (target: no slower): %s'
                           % (contiguous['wall'], interleaved['wall'],
                              'met' if contiguous['wall'] <= interleaved['wall'] else 'NOT met'))
        elif target == 'linearity':
            ratio = per_channel_occurrence(results[1]) / per_channel_occurrence(results[0])
            line = ('linearity time per channel-occurrence, 64 / 8 channels = %.2f '
                    '(target within 25%%): %s'
                    % (ratio, 'met' if 0.75 <= ratio <= 1.25 else 'NOT met'))
            if all('profile' in r for r in results):
                corrected = [r['profile']['correction'] / (r['channels'] * r['occurrences'])
                             for r in results]
                line += '; correction alone (profiled): %.2f' % (corrected[1] / corrected[0])
            summary.append(line)
        elif target == 'memory':
            peak, doubled = results[0]['peak'] / 1024.0, results[1]['peak'] / 1024.0
            summary.append('memory    peak RSS %.1f MB (long), %.1f MB (twice as long) '
                           '(target <= 256 MB, within 10%%): %s'
                           % (peak, doubled, 'met' if peak <= 256 and doubled <= 1.1 * peak
                              else 'NOT met'))
    if summary:
        print('\n' + '\n'.join(summary))
    if not arguments.keep_data and arguments.data_is_temporary:
        shutil.rmtree(arguments.data, ignore_errors=True)
    return 0


def make_profile_build():
    build = os.path.join(REPOSITORY, 'build', 'profile')
    for command in (['cmake', '--preset', 'default', '-B', build, '-DKORU_PROFILE=ON',
                     '-DKORU_BUILD_TESTS=OFF'],
                    ['cmake', '--build', build, '-j2', '--target', 'LumatraZT']):
        if subprocess.run(command, cwd=REPOSITORY, stdout=subprocess.DEVNULL).returncode != 0:
            fail('could not build the profiling build: ' + ' '.join(command))
    return build


def main():
    parser = argparse.ArgumentParser(
        description='Benchmark and bit-identity check of the KORU plug-in through LumatraZT.')
    parser.add_argument('--build', default=os.path.join(REPOSITORY, 'build', 'default'),
                        help='build tree with hostprogram/LumatraZT (default: build/default)')
    parser.add_argument('--data', help='folder for the recordings (default: a temporary folder; '
                        'the benchmark recordings need up to 10 GB); recordings already there '
                        'are reused')
    sub = parser.add_subparsers(dest='command', required=True)
    check = sub.add_parser('checksums', help='compare the plug-in\'s outputs bit for bit')
    check.add_argument('--write', action='store_true',
                       help='record the checksums instead of comparing them')
    check.add_argument('--module', help='plug-in module to load instead of the built one')
    check.add_argument('--note', help='a comment line for the checksum file (with --write)')
    run = sub.add_parser('run', help='time the plug-in and the NumPy reference')
    run.add_argument('targets', nargs='*', help='standard, long, linearity, memory (default: '
                     'all four), threads (1 against 2 OpenBLAS threads on the long recording), '
                     'hour (the long recording against one of 60 min, 4.6 GB, removed '
                     'afterwards), ordering1 (the long recording stored channel after channel), '
                     'brainvision (the standard recording as BrainVision INT_16 against CTC), '
                     'brainvision-memory (peak memory of a run on 1.5 GB of BrainVision)')
    run.add_argument('--profile-build', help='a build configured with -DKORU_PROFILE=ON, for '
                     'the breakdown of the time')
    run.add_argument('--profile', action='store_true',
                     help='configure and build build/profile (KORU_PROFILE=ON) and use it as '
                     'the profiling build')
    run.add_argument('--host-options', default='',
                     help='further LumatraZT options for the timed runs, such as '
                     '"--blas-threads 2"')
    run.add_argument('--repeat', type=int, default=1, help='runs of each, alternating with the '
                     'reference (the medians count, and every pair\'s ratio is shown)')
    run.add_argument('--no-reference', dest='reference', action='store_false',
                     help='skip the NumPy reference')
    run.add_argument('--keep-data', action='store_true',
                     help='keep the generated recordings in the temporary folder')
    arguments = parser.parse_args()
    arguments.build = os.path.abspath(arguments.build)
    if arguments.command == 'checksums':
        if arguments.module:
            arguments.module = os.path.abspath(arguments.module)
        if arguments.data:
            os.makedirs(arguments.data, exist_ok=True)
        return checksums(arguments)
    arguments.data_is_temporary = not arguments.data
    arguments.data = os.path.abspath(arguments.data or tempfile.mkdtemp(prefix='koru-bench-'))
    if arguments.profile and not arguments.profile_build:
        arguments.profile_build = make_profile_build()
    if arguments.profile_build:
        arguments.profile_build = os.path.abspath(arguments.profile_build)
    return benchmark(arguments)


if __name__ == '__main__':
    sys.exit(main())
