# Prints each annotation of an EDF+/BDF+ file as MNE reads it: 1-based sample, tab, text.
import sys

import mne

path = sys.argv[1]
read = mne.io.read_raw_bdf if path.lower().endswith('.bdf') else mne.io.read_raw_edf
raw = read(path, preload=False, verbose='error')
for onset, text in zip(raw.annotations.onset, raw.annotations.description):
    print('%d\t%s' % (round(onset * raw.info['sfreq']) + 1, text))
