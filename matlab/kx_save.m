function info = kx_save(rec, path, varargin)
%KX_SAVE  Write a recording to a BDF+, EDF+ or EEGLAB (.set) file.
%   KX_SAVE(REC, PATH) writes REC (as from KX_RECORD, KX_ASSEMBLE or
%   KX_LOAD) to PATH: BDF+ (24 bit) for .bdf, EDF+ (16 bit) for .edf, the
%   same way KX_RECORD writes while recording: channel labels, unit 'uV',
%   the rate, the annotations at their samples, the device name and serial
%   number and the start time (REC.timestamps(1)). The file holds exactly
%   REC.sample_count samples where the rate allows data records that
%   divide it (otherwise the last record is padded and marked with the
%   annotation 'Recording ends', which KX_LOAD honours).
%   KX_SAVE(REC, PATH, NAME, VALUE, ...) takes options:
%     'Overwrite'      true to replace an existing file (default false)
%     'PhysicalRange'  [MIN MAX] in uV for every channel; default: each
%                      channel's own minimum and maximum, so nothing is
%                      clipped and the quantisation step is as small as the
%                      format allows. Values outside a given range are
%                      clipped (never wrapped) and counted in a warning.
%   KX_SAVE(REC, 'name.set') writes an EEGLAB dataset file instead, as
%   EEGLAB's pop_saveset writes it with the data inside: the EEG struct of
%   KX_TO_EEGLAB, filename, filepath and saved ('yes') set, each field a
%   variable of a MAT file of version 7 (save -struct, which pop_loadset,
%   MATLAB, Octave and MNE read). Data stay double (exact) and annotations
%   are events; KX_LOAD reads the file back into REC, start time, device
%   and gaps included. Only 'Overwrite' applies; INFO has file, samples,
%   channels and events.
%   INFO = KX_SAVE(...) returns what was written: records, samples,
%   padded_samples, clipped_samples, annotations_written,
%   annotations_not_written, annotations_shortened, and file.
%
%   Annotation texts longer than 40 bytes are shortened in the file (with a
%   warning). The file is written under a temporary name and renamed when
%   complete, so a failure leaves no half-written file behind.
%
%   Errors: kestrix:toolbox:invalidArgument (REC or an option),
%   kestrix:toolbox:fileExists, kestrix:toolbox:fileNotWritable,
%   kestrix:file:* from writing (see KX_LOAD).
%
%   Example:
%     rec = kx_record(5);
%     kx_save(rec, 'five_seconds.edf');
%     back = kx_load('five_seconds.edf');
%     max(abs(back.data(:) - rec.data(:)))   % within one quantisation step
%
%   See also KX_LOAD, KX_RECORD, KX_TO_EEGLAB.
if kx_eeglab_file(path)
  info = kx_eeglab_save(rec, path, varargin);
  if nargout == 0
    clear info;
  end
  return;
end
opts = parse_options(varargin);
file = kx_file_target('kx_save', path, opts.Overwrite);
info = kx_write_file(rec, file, opts.PhysicalRange);
kx_file_warnings(info, file.path);
if nargout == 0
  clear info;
end
end

function opts = parse_options(args)
opts = kx_parse_options('kx_save', args, struct('Overwrite', false, 'PhysicalRange', []));
opts.Overwrite = kx_check_value('kx_save', 'Overwrite', opts.Overwrite, {'flag', 'true or false'});
end
