/* A data source that answers every call with TWRC_FAILURE, built as a real DLL for the command's
   checks of PE files: MARKER adds the export that marks a build of Tracewell, NO_EXPORTS builds
   a DLL that exports nothing. */
#ifndef NO_EXPORTS
__declspec(dllexport) unsigned short __stdcall DS_Entry(void* origin, unsigned long group, unsigned short dat,
                                                        unsigned short msg, void* data) {
    (void)origin, (void)group, (void)dat, (void)msg, (void)data;
    return 1;
}
#ifdef MARKER
__declspec(dllexport) void MachO_Initialization(void) {}
#endif
#endif

int Unexported(void) { return 0; }
