// The Windows backend: the registry's Environment keys as the native store, the data
// directory under APPDATA, and the setting-change broadcast. Compiled in every build; it
// yields code only for Windows and for the registry simulator build.
#if defined(_WIN32) || defined(KENV_WIN_SIM)
#error "the Windows backend is not written yet"
#endif
