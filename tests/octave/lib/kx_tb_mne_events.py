"""Prints each annotation of an EDF+/BDF+ file as MNE reads it: its sample
(1-based) and its text, one per line, and then the number of samples."""
import sys

import mne

path = sys.argv[1]
read = mne.io.read_raw_bdf if path.lower().endswith('.bdf') else mne.io.read_raw_edf
raw = read(path, preload=False, verbose='error')
rate = raw.info['sfreq']
for onset, text in zip(raw.annotations.onset, raw.annotations.description):
    print('%d\t%s' % (round(onset * rate) + 1, text))
print('samples\t%d' % raw.n_times)
