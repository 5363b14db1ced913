// The C++ library's own copy of the 8-bit string is built with exceptions
// and would bring the whole exception machinery with it. This copy is
// built without them; the linker keeps the members the engine uses.
#include <string>

template class std::basic_string<char>;
