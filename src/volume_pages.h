// The volume's pages, given by the system while the window appears rather than at the
// first load (64 MiB of pages taken one by one would make the first "Ouvrir" wait).
#ifndef VESMORA_VOLUME_PAGES_H
#define VESMORA_VOLUME_PAGES_H

// Starts, once per process, a thread that has the system give `data` its pages
// (plat_give_pages: no value changes). Start-up calls it.
void VOLUME_PAGES_START();
// Returns once the volume has its pages: at once when that thread is done, else after asking
// for the rest on the calling thread. The clearing calls it first; the load does not wait:
// its writes take the pages the thread has not given yet (the thread writes no value, so the
// two never disagree).
void VOLUME_PAGES_WAIT();


// The clearing of the whole volume at a fresh start (INIT_STATE, once a load has written it).
// Where every study of the process opens a file right after its start (a worker of the batch),
// VOLUME_CLEAR_LATER(1) leaves the zeros owed instead: the next load writes every element and
// so pays them, and nothing reads the volume before a load. VOLUME_SETTLE() pays what is still
// owed (after a study whose file was refused), so that the volume is a fresh process's again.
void VOLUME_CLEAR();
void VOLUME_CLEAR_LATER(int later);
void VOLUME_SETTLE();
// The load is about to write every element: nothing is owed any more.
void VOLUME_OVERWRITTEN();

#endif
