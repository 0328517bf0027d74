function varargout = kx_core_mex(varargin)
%KX_CORE_MEX  Live access to a wireless EEG headset through the device SDK.
%   RESULT = KX_CORE_MEX(COMMAND) runs COMMAND, a character vector naming one
%   of the 23 commands below, and returns its result, always a struct.
%   RESULT = KX_CORE_MEX(COMMAND, PAYLOAD) also passes PAYLOAD, a struct whose
%   fields are the command's inputs. PAYLOAD may be [] for "no payload"; a
%   command that reads no payload accepts one and ignores it.
%   KX_CORE_MEX(COMMAND, ...) without an output variable runs the command and
%   sets no ANS.
%
%   Command names are exact and case-sensitive ('status', not 'STATUS').
%   Every kx_<command> function of this toolbox (kx_connect, kx_read_chunk,
%   ...) calls KX_CORE_MEX with the payload built from MATLAB-style
%   arguments; kx_record records a whole stream.
%
%   The session (SDK core, connection, stream, buffered data) lives in the
%   loaded MEX file between calls. Once the core has started, the MEX file is
%   locked in memory (mislocked('kx_core_mex') is true) so that CLEAR cannot
%   unload it while a headset is attached; 'close' releases the lock. When
%   the SDK failed to free a device manager or to close its link, the SDK
%   may still call into the MEX file: then 'close' and the exit handler
%   leave one lock in place for the rest of the MATLAB session (the session
%   itself goes on working). Do not munlock and clear the file after that.
%
%   The MEX file needs the SDK library libkxcore.so.3.6.0 (and its link
%   libkxcore.so.3) in its own folder. The mock build answers every command
%   with two fake headsets and a synthetic sine-wave stream; status reports
%   which build is loaded ("backend_variant" "mock" or "mex").
%
%   Numbers are answered as double scalars, flags as logical scalars, texts
%   as char rows, absent values as [] (0x0 double). Integer payload fields
%   are truncated toward zero to 32-bit signed integers (2.9 is 2). Logical
%   payload values are accepted only where a field says so.
%
%   -------------------------------------------------------------------------
%   SESSION
%
%   S = KX_CORE_MEX('status')
%   S = KX_CORE_MEX('ping')
%     Both read the session state (the same answer); change nothing; never
%     fail.
%     S.backend          'kestrix-matlab-api'
%     S.backend_variant  'mock' (mock build) or 'mex'
%     S.connected        logical, a headset is connected
%     S.core_initialized logical, the SDK core has been started
%     S.manager_present  logical, a device manager exists
%     S.mode             'persistent'
%     S.streaming        logical, a stream runs
%
%   S = KX_CORE_MEX('is_connected')    S.connected, logical
%   S = KX_CORE_MEX('is_streaming')    S.streaming, logical
%
%   S = KX_CORE_MEX('close')
%     Stops the stream, disconnects, frees the device manager, closes the
%     SDK core and unlocks the MEX file (the mock build keeps its lock, so
%     CLEAR leaves it loaded until munlock('kx_core_mex') or the end of the
%     session). Never fails; afterwards 'init', 'scan' or 'connect' start
%     anew. If the SDK ever failed to free a manager or to close its link,
%     one lock stays in place, since the SDK may still call into the file.
%     S.closed           true
%     S.disconnected     logical, a device (manager) was attached before
%     S.mode             'persistent'
%     S.stopped          true
%
%   S = KX_CORE_MEX('init')
%     Starts the SDK core once (later calls only report) and locks the MEX
%     file.
%     S.backend          'kestrix-matlab-api'
%     S.backend_variant  'mock' or 'mex'
%     S.config           struct: log_buffer_size, log_path, log_level,
%                        append_logs, timestamps_enabled, autoflush,
%                        thread_ids_enabled, chunk_size, enable_logs,
%                        update_path, adapter_index
%     S.core_version     struct: major, minor, patch, text (e.g. '3.6.0')
%     S.mode             'persistent'
%     Errors: kestrix:sdk:<init status> "kx_core_init failed with status
%     KX_INIT_ERROR_...", for example kestrix:sdk:bluetoothAdapterNotFound
%     "kx_core_init failed with status KX_INIT_ERROR_NOT_FOUND.";
%     kestrix:mex:runtimeError "kx_core_get_version returned null.";
%     kestrix:sdk:<status> "kx_core_get_config failed with status ...".
%
%   -------------------------------------------------------------------------
%   DISCOVERY AND CONNECTION
%
%   S = KX_CORE_MEX('scan')
%     Lists the headsets in range. Without a started core, it starts one for
%     this call only and closes it again.
%     S.devices          Nx1 struct array with fields name, mac_address
%                        (0x1 when none is found)
%     Errors: kestrix:sdk:<init status> "Temporary kx_core_init failed with
%     status ..."; kestrix:sdk:<status> "kx_core_scan failed with status ...".
%
%   S = KX_CORE_MEX('connect', struct('device_name', NAME))
%     Starts the core, replaces any earlier connection and connects to the
%     headset NAME, waiting up to 30 s for the link. A link that does not
%     come up is answered, not raised: S.connected is false. A NAME the SDK
%     does not find is raised: kestrix:sdk:connection.
%     Payload: device_name     non-empty char
%     S.connected        logical
%     S.device_features  struct (see get_device_features) or []
%     S.device_info      struct (see get_device_info) or []
%     S.device_name      NAME
%     S.incompatible_stream  logical (status 2: update the firmware)
%     S.message          'Connected successfully.', 'Connection failed.' or
%                        'Device stream is incompatible. Update the firmware.'
%     S.status           0 or 2
%     S.status_name      'success', 'connection_failed' or
%                        'incompatible_stream'
%     Errors: kestrix:mex:invalidArgument '"device_name" must be a non-empty
%     string.'; kestrix:sdk:<status> "kx_eeg_manager_connect failed with
%     status ..."; kestrix:sdk:nativeException "kx_eeg_manager_connect threw
%     native exception: ..."; kestrix:mex:runtimeError
%     "kx_eeg_manager_new returned null.".
%
%   S = KX_CORE_MEX('disconnect')
%     Stops a running stream and disconnects. Never fails.
%     S.disconnected     true
%     S.drained_chunks   number of unread chunks discarded
%     S.was_connected    logical
%     S.was_streaming    logical
%
%   -------------------------------------------------------------------------
%   DEVICE INFORMATION (a connected headset is needed)
%
%   S = KX_CORE_MEX('get_device_info')
%     S.device_info.device_model      struct: name ('VELO', 'RUNA', 'TOKA',
%                                     'ZEM', 'SOLA1', 'SOLA', 'UNKNOWN'), value
%     S.device_info.firmware_version  struct: major, minor, patch, text
%     S.device_info.hardware_version  struct: major, minor, patch, text
%     S.device_info.sample_per_packet samples per data packet
%     S.device_info.serial_number     serial number
%     Errors: kestrix:mex:runtimeError "kx_eeg_manager_get_device_info
%     returned null.".
%
%   S = KX_CORE_MEX('get_device_features')
%     S.device_features: electrode_count, has_accel, has_gyro, is_bipolar
%     Errors: kestrix:mex:runtimeError "kx_core_device_features_get returned
%     null.".
%
%   S = KX_CORE_MEX('get_battery_info')
%     S.battery_info: is_charger_connected, is_charging, level
%
%   -------------------------------------------------------------------------
%   SETTINGS (a connected headset is needed; refused while streaming, except
%   load_config)
%
%   S = KX_CORE_MEX('set_channel_enabled', struct('channel_id', CH, 'enabled', TF))
%     Payload: channel_id number; enabled number or logical (true unless 0).
%     S.channel_id, S.enabled
%     The mock build's headsets start with every channel off (its stream
%     has 0 rows until one is enabled); the simulated SDK's with all on.
%     Streaming error: "Cannot change channel state while streaming."
%
%   S = KX_CORE_MEX('set_channel_gain', struct('channel_id', CH, 'gain_mode', G))
%     Payload: channel_id 0 to 33; gain_mode a multiplier 1, 2, 4, 6, 8, 12
%     or a GainMode value 0 (X1), 3 (X6), 5 (X12).
%     S.channel_id, S.gain_mode (struct: name 'X1'...'X12', value 0...5)
%     Errors: kestrix:mex:invalidArgument "Invalid channel number." or
%     '"gain_mode" must be a gain multiplier (1, 2, 4, 6, 8, 12) or GainMode
%     enum value.'; streaming: "Cannot change channel gain while streaming."
%
%   S = KX_CORE_MEX('set_channel_bias', struct('channel_id', CH, 'polarity', P))
%     Payload: polarity true (BOTH), false (NONE) or 0 NONE, 1 BOTH,
%     2 POSITIVE, 3 NEGATIVE.
%     S.channel_id, S.polarity (struct: name, value)
%     Errors: kestrix:mex:invalidArgument '"polarity" must be numeric or
%     boolean.' or '"polarity" must be boolean or one of 0, 1, 2, 3.';
%     streaming: "Cannot change channel bias while streaming."
%
%   S = KX_CORE_MEX('set_sample_rate', struct('rate_hz', R))
%     Payload: rate_hz positive. Real headsets take 250, 500, 1000, 2000,
%     4000, 8000 or 16000 within their model's limit (RUNA, TOKA: 250;
%     VELO, SOLA1, SOLA: up to 500); the mock build takes any positive rate.
%     S.sample_rate_hz
%     Errors: kestrix:mex:invalidArgument '"rate_hz" must be positive.';
%     kestrix:sdk:wrongValue "Wrong sample rate.", "<MODEL> only supports
%     250Hz sample rate." or "<MODEL> supports sample rates up to 500Hz.";
%     streaming: "Cannot change sample rate while streaming."
%
%   S = KX_CORE_MEX('load_config')
%     Makes the SDK load the device configuration; allowed while streaming.
%     S.loaded           true
%
%   -------------------------------------------------------------------------
%   STREAMING
%
%   S = KX_CORE_MEX('start_stream')
%   S = KX_CORE_MEX('start_stream', struct('max_buffer_chunks', N))
%     Empties the buffer and starts the stream. Up to N chunks (default 256)
%     are buffered until read; beyond that the oldest are dropped and
%     counted in meta.dropped_chunks of the next read_chunk.
%     S.sample_frequency_hz  the stream's rate (-1 when the SDK reports an
%                            unknown rate code)
%     S.started          true
%     Errors: kestrix:mex:invalidArgument '"max_buffer_chunks" must be
%     positive.'; kestrix:sdk:unsupportedDevice "Stream is incompatible.
%     Update the firmware."; kestrix:state:notStreaming "Stream did not
%     start."; kestrix:state:streaming "Stream already running." (mock);
%     kestrix:sdk:<status> "kx_eeg_manager_start_stream failed with status ...".
%
%   R = KX_CORE_MEX('read_chunk')
%   R = KX_CORE_MEX('read_chunk', struct('timeout_ms', T, 'drain', D))
%     Waits up to T ms (default 0: no wait) for data. With D true (default)
%     it takes every buffered chunk, oldest first; with D false it returns a
%     copy of the newest chunk and leaves the buffer as it was. Needs no
%     connection: without a stream it answers with no data.
%     R.data             channels x samples double ([] without data; 0 rows
%                        while no channel is enabled)
%     R.meta.available   logical, data was returned
%     R.meta.channel_count   number of rows of R.data
%     R.meta.chunk_count     number of chunks returned
%     R.meta.chunk_sizes     1xN samples per chunk ([] without data)
%     R.meta.dropped_chunks  chunks dropped since the last read
%     R.meta.received_at     1xN reception time of each chunk, seconds
%                            since 1970-01-01 UTC ([] without data)
%     R.meta.sample_count    number of columns of R.data
%     R.meta.sample_frequency_hz  rate in Hz, or [] when unknown
%     Errors: kestrix:mex:runtimeError "Chunk channel count changed during
%     collection.".
%
%   S = KX_CORE_MEX('stop_stream')
%     Stops the stream and empties the buffer.
%     S.drained_chunks   unread chunks discarded
%     S.stopped          logical, a stream was running
%     Errors: kestrix:state:notConnected "No active EEG manager. Call
%     kx_connect first."; kestrix:state:streaming "Stream did not stop.";
%     kestrix:sdk:<status> "kx_eeg_manager_stop_stream failed with status ...".
%
%   -------------------------------------------------------------------------
%   ANNOTATIONS (a connected headset is needed; allowed while streaming)
%
%   S = KX_CORE_MEX('annotate', struct('message', TEXT))
%     S.annotated        true
%     S.message          TEXT
%     Errors: kestrix:mex:invalidArgument '"message" must be a non-empty
%     string.'; kestrix:sdk:<status> "kx_eeg_manager_annotate failed with
%     status ...", for example kestrix:sdk:annotationUnavailableCalibrating.
%
%   S = KX_CORE_MEX('get_annotations')
%     S.annotations      1xN cell of char rows, oldest first
%     S.timestamps       1xN double (the SDK's stamp; the mock build stamps
%                        the stream's sample index), [] when N is 0
%
%   S = KX_CORE_MEX('clear_annotations')
%     S.cleared          true
%
%   -------------------------------------------------------------------------
%   ERRORS
%
%   Every failure is one MATLAB error; catch it with try/catch and look at
%   ME.identifier:
%     kestrix:mex:invalidArgument   malformed call or payload field, e.g.
%                                   "Expected one or two input arguments.",
%                                   "Payload must be a struct.",
%                                   '"timeout_ms" must be a scalar value.',
%                                   '"timeout_ms" must be numeric.',
%                                   '"timeout_ms" must be finite.'
%     kestrix:mex:tooManyOutputs    more than one output requested
%     kestrix:mex:unsupportedCommand  "Unsupported MEX command: <cmd>."
%     kestrix:mex:runtimeError      an SDK query returned null, or another
%                                   failure inside the gateway
%     kestrix:state:notConnected    "No active EEG manager. Call kx_connect
%                                   first." (the mock build: "No device
%                                   connected. Call kx_connect first.")
%     kestrix:state:streaming       refused while the stream runs
%     kestrix:state:notStreaming    the stream did not start
%     kestrix:sdk:nativeException   the SDK threw: "<operation> threw native
%                                   exception: <text>"
%     kestrix:sdk:<name>            the SDK returned a failing status:
%                                   "<operation> failed with status
%                                   KX_ERROR_<NAME>." (connection,
%                                   unsupportedDevice, wrongValue,
%                                   bluetoothNotEnabled, ...)
%   GNU Octave puts "kx_core_mex: " before the message text.
%
%   Example:
%     kx_core_mex('init');
%     s = kx_core_mex('scan');
%     kx_core_mex('connect', struct('device_name', s.devices(1).name));
%     kx_core_mex('start_stream');
%     r = kx_core_mex('read_chunk', struct('timeout_ms', 500));
%     size(r.data)                    % channels x samples
%     kx_core_mex('stop_stream');
%     kx_core_mex('close');
%
%   See also KX_RECORD, KX_CONNECT, KX_READ_CHUNK, BUILD_KX_CORE_MEX.

% This file stands beside every built MEX file, where the MEX file takes
% precedence and this text serves HELP. Reached as a function, the MEX file
% is not in its folder: use a built one elsewhere on the path, or say how to
% build one.
here = fileparts(mfilename('fullpath'));
folders = strsplit(path(), pathsep());
for k = 1:numel(folders)
  folder = folders{k};
  if ~strcmp(folder, here) && exist(fullfile(folder, ['kx_core_mex.' mexext()]), 'file')
    % Put the MEX file's folder first so that it, not this file, is found.
    addpath(folder);
    if nargout > 0
      [varargout{1:nargout}] = kx_core_mex(varargin{:});
    else
      kx_core_mex(varargin{:});
    end
    return;
  end
end
error('kestrix:toolbox:mexNotFound', ...
      ['The MEX file kx_core_mex.%s was not found beside %s or on the path. ', ...
       'Build it with build_kx_core_mex (MATLAB or Octave), or in a shell with ', ...
       '"make" (GNU Octave: build/octave), then addpath the folder that holds it.'], ...
      mexext(), here);
end
