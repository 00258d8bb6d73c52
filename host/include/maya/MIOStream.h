// Stand-in host: the standard streams, also in the global namespace.
#ifndef KHOST_MAYA_MIOStream_h
#define KHOST_MAYA_MIOStream_h

#include <iostream>

using std::cout;
using std::cin;
using std::cerr;
using std::clog;
using std::endl;
using std::flush;
using std::ws;
using std::streampos;
using std::iostream;
using std::ostream;
using std::istream;
using std::ios;

#endif
