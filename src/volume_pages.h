// The volume's pages, given by the system while the window appears rather than at the
// first load (64 MiB of pages taken one by one would make the first "Ouvrir" wait).
#ifndef VESMORA_VOLUME_PAGES_H
#define VESMORA_VOLUME_PAGES_H

// Starts, once per process, a thread that has the system give `data` its pages
// (plat_give_pages: no value changes). Start-up calls it.
void VOLUME_PAGES_START();
// Returns once the volume has its pages: at once when that thread is done, else after asking
// for the rest on the calling thread. Every writer of the whole volume (the load, the clearing
// at start-up) calls it first.
void VOLUME_PAGES_WAIT();

#endif
