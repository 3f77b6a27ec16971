#include "hostprogram/cli/usage_text.h"

#include "run/dialogue_bounds.h"

namespace {

// "      --pre MS ...  [500; 0..5000]": the default and bounds as the plug-in asks.
std::string windowLine(const char* optionAndText, int32_t defaultMilliseconds) {
    return std::string("      ") + optionAndText + "[" + std::to_string(defaultMilliseconds) +
           "; " + std::to_string(kWindowMillisecondsMinimum) + ".." +
           std::to_string(kWindowMillisecondsMaximum) + "]\n";
}

}  // namespace

std::string usageText() {
    return R"(Usage: LumatraZT [run] [OPTIONS]
       LumatraZT demo [--directory DIR] [DEMO OPTIONS] [OPTIONS]
       LumatraZT generate [--directory DIR] [DEMO OPTIONS] [GENERATE OPTIONS]
       LumatraZT info [--json] [--exclude LIST] [--unit UNIT] FILE...
       LumatraZT convert [--unit UNIT] INPUT OUTPUT
       LumatraZT detect-r FILE --ecg-channel NAME|N [-o LIST] [-r FILE.html]
       LumatraZT about [--module FILE]

Runs the KORU artifact removal plug-in on a CTC recording: it removes an
artifact that repeats at known times (such as the ballistocardiogram of EEG
recorded in an MRI scanner) by the optimal basis set (OBS) method and writes
the corrected copy INPUT_OBS.ctc next to the input, plus a trial list
INPUT_<condition>.trl.

Commands:
  run      run the plug-in (the default when no command is given)
  demo     generate an example recording with a known clean signal, run the
           plug-in on it with the default settings, and print how much of the
           artifact was removed
  generate write the demo's recording alone (no run), in the sample ordering
           and data type asked for, with its protocol DIR/NAME.prt and a
           trigger list DIR/NAME_triggers.txt (zero-based samples)
  info     describe each recording: a CTC file's header; for BrainVision
           (.vhdr), EDF and BDF its channels (unit, rate, corrected or not),
           duration and conditions with their counts
  convert  write INPUT in the format of OUTPUT's extension (.vhdr, .edf,
           .bdf, .ctc), samples in each channel's unit, markers kept
  detect-r find the R-peaks of FILE's ECG channel (any format above) and
           write them as a trigger list that -p reads (-o; default
           FILE_rpeaks.txt beside FILE), with the beats found, the heart rate
           and every implausible interval (under 0.3 s, over 2 s, or 30 %
           off its neighbours); exits with 1 when the channel is missing,
           flat, or gives fewer beats than one segment needs
  about    print the plug-in module's name, version, author and description

The plug-in's questions (each asked at the terminal when not given here):
  -i, --input FILE         recording to correct (.ctc; or .vhdr, .edf, .bdf:
                           corrected copy INPUT_OBS in the input's format)
  -p, --protocol FILE      protocol (.prt) or plain trigger list that marks
                           every occurrence of the artifact
  -c, --condition N|NAME   protocol condition holding the artifact triggers,
                           by number (from 1) or name  [default: the last];
                           without -p, a .vhdr/.edf/.bdf input's markers are
                           the conditions, named as MNE-Python names them
)" + windowLine("--pre MS             window before each trigger, ms  ", kDefaultPreMilliseconds) +
           windowLine("--post MS            window after each trigger, ms   ",
                      kDefaultPostMilliseconds) +
           R"(  -a, --artifacts-per-segment N
                           occurrences per OBS segment     [)" +
           std::to_string(kDefaultArtifactsPerSegment) + "; " +
           std::to_string(kArtifactsPerSegmentMinimum) + R"(..occurrences]
  -k, --components N       principal components fitted and removed
                                                           [)" +
           std::to_string(kDefaultComponentsToKeep) + "; " +
           std::to_string(kComponentsToKeepMinimum) + R"(..artifacts per segment]

Run options:
      --ecg-channel NAME|N find the heartbeats in this channel of the input
                           (-i) and use them as the condition R-peaks (ECG)
                           unless -c or -p say otherwise; the channel itself
                           is left uncorrected
      --exclude LIST       channels of the input (-i) left uncorrected, by
                           name or number: ECG,EOG1,33-34
      --batch              never ask: a file question not answered here
                           cancels the run, a number takes its default
      --module FILE        plug-in module to load
                           [default: KORUArtifactRemovalPlugin.so beside LumatraZT]
      --log FILE           also write every log line to FILE
  -r, --report FILE.html   after the run, write a self-contained HTML report
                           (average artifact window and a stretch of trace,
                           before and after correction)
      --report-channels LIST
                           channels to show, from 1, such as 1,2,5-8
                           [1-4; the demo: 1, 2 and its worst channel]
      --report-occurrence N
                           occurrence the trace is centred on  [the middle one]
      --report-seconds S   length of the trace in seconds  [6]
      --ecg-from S         with --ecg-channel (and for detect-r -r): where
                           the ECG stretch with its beats starts, in seconds
                           [2 s before the first implausible interval, or 0]
      --ecg-seconds S      length of that stretch  [10]
      --product blas|plain the host's matrix products: OpenBLAS, or plain
                           loops summing in a fixed order (the same bits on
                           every machine, for comparing builds)  [blas]
      --blas-threads N     OpenBLAS threads  [1, or OPENBLAS_NUM_THREADS]
      --timings            after the run, print its wall time and the time
                           spent in the host's matrix products

Info and convert options:
      --json               info: one JSON object per file (format, rate,
                           samples, channels, conditions)
      --exclude LIST       info: channels the run leaves uncorrected, by name
                           or number from 1, such as ECG,EOG1,33-34
      --unit UNIT          the unit of a CTC file's samples  [µV]
  Channels of a CTC file are named by number; CTC files hold no markers.
  Channels at another rate than the main one, and a BDF Status channel
  (its codes become markers), are not converted; standard error names them.
  info and convert exit with 1 when a file cannot be read or written (no
  partial output is left), 2 on a usage error.

Demo options (also of generate):
      --ecg                generate only: add an ECG as recorded in the
                           scanner as the last channel (named ECG); the demo
                           always has one and finds its heartbeats there
      --directory DIR      where the files go  [koru-demo]
      --channels N         number of EEG channels  [32]
      --sampling-rate HZ   sampling rate  [500]
      --duration S         length of the recording in seconds  [200]
      --seed N             seed of the generator  [1]
  The demo writes DIR/report.html unless --report names another file.

Generate options:
      --name NAME          file stem: DIR/NAME.ctc  [recording]
      --ordering 1|2       sample ordering: 1 channel after channel,
                           2 interleaved (sample after sample)  [1]
      --data-type T        1 float; 3 16-bit, 4 8-bit integers and 5 floats,
                           each with a channel scale and offset  [1]
      --format F           vhdr, edf or bdf: DIR/NAME.vhdr (.vmrk, .eeg),
                           .edf or .bdf, channels "1", "2", ... in µV, the
                           heartbeats as markers "R-peaks" (BrainVision:
                           Comment/R-peaks); --ordering and --data-type
                           are for ctc only  [ctc]

General:
  -h, --help               show this help and exit
  -V, --version            show the program's version and exit

Answering the questions:
  At a terminal, each question not answered by an option is asked with its
  default and bounds; Enter takes the default, an answer outside the bounds
  is asked again, and an empty file name or end of input (Ctrl-D) cancels.
  When standard input is a pipe or a file, the answers are read from it one
  line each, in the order the plug-in asks (input, protocol, condition, pre,
  post, artifacts per segment, components); when it runs out, or with
  --batch, a file question cancels the run and a number takes its default.
  Answers given as options are checked against their bounds before the run
  starts.

Protocols:
  A .prt file of this program (the README shows the format):
      experiment: Resting state in the scanner
      time-unit: samples            (or: microseconds)
      condition: R-peaks
      412 412                       (start and end of one occurrence)
  or a plain trigger list: one zero-based sample number per line, as
  R-peak detectors write them; it becomes one condition named "Triggers".
  A protocol that cannot be read is reported with its file and line, and the
  run then stops because no protocol is applied.

Output:
  The plug-in's log lines go to standard output, its message boxes to
  standard error between rulers. While it works and standard error is a
  terminal, a status line shows the elapsed time and the latest log line.

Exit status:
  0  the run completed and the output file was corrected
     (also: help, version, info, about, a completed demo)
  1  the run failed: it ended without correcting the output (data file not
     readable, no protocol applied, module not loadable, ...)
  2  usage error: the command line could not be understood
  3  cancelled: a file question got no file, or no condition was chosen
  4  refused: an answer outside its bounds or an input that cannot be used,
     found before the run, or settings the plug-in refused (such as fewer
     occurrences than artifacts per segment)

Examples:
  LumatraZT demo
  LumatraZT -i sub01.ctc -p sub01_rpeaks.txt --report sub01.html
  LumatraZT -i sub01.ctc -p sub01.prt -c R-peaks --pre 300 --post 700 -k 4
  LumatraZT -i sub01.vhdr -c Response/R128 --exclude ECG,EOG1
  LumatraZT -i sub01.edf -p sub01_rpeaks.txt
  LumatraZT -i sub01.vhdr --ecg-channel ECG
  LumatraZT detect-r sub01.vhdr --ecg-channel ECG -o sub01_rpeaks.txt -r sub01_rpeaks.html
  printf 'sub01.ctc\nsub01.prt\n\n\n\n\n\n' | LumatraZT
  LumatraZT info sub01.ctc
  LumatraZT info --json --exclude ECG sub01.vhdr
  LumatraZT convert sub01.bdf sub01.vhdr
  LumatraZT generate --channels 64 --sampling-rate 5000 --duration 1200 \
      --ordering 2 --directory /tmp/big
)";
}
