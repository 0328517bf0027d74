function result = kx_init(varargin)
%KX_INIT  Start the SDK core and report its version and configuration.
%   S = KX_INIT() starts the core once (later calls only report) and locks
%   the MEX file in memory. S.backend, S.backend_variant, S.config (the SDK
%   core configuration: log_buffer_size, log_path, log_level, append_logs,
%   timestamps_enabled, autoflush, thread_ids_enabled, chunk_size,
%   enable_logs, update_path, adapter_index), S.core_version (major, minor,
%   patch, text) and S.mode.
%   Errors: kestrix:sdk:* "kx_core_init failed with status KX_INIT_...".
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     s = kx_init();
%     fprintf('SDK %s\n', s.core_version.text);
%
%   See also KX_CORE_MEX, KX_CLOSE, KX_SCAN.
kx_no_arguments('kx_init', varargin);
result = kx_core_mex('init');
end
