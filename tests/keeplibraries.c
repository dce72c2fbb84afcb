/* Preloaded into the real program in address-sanitizer runs: a dlclose that unloads nothing. */

/* LeakSanitizer looks for leaks at exit, after SDL_Quit has unloaded the GL driver; memory that
   only the driver's own data pointed at would then look leaked. */
int dlclose(void* handle) {
    (void)handle;
    return 0;
}
