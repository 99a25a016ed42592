#include "base/error.h"

#include <new>
#include <stdexcept>

RtError CurrentError() {
  try {
    throw;
  } catch (const RtError& e) {
    return e;
  } catch (const RunEnded&) {
    throw;
  } catch (const std::bad_alloc&) {
    return {7, "Out of memory"};
  } catch (const std::out_of_range& e) {
    return {9, std::string("Subscript out of range: ") + e.what()};
  } catch (const std::exception& e) {
    return {51, std::string("Internal error: ") + e.what()};
  } catch (...) {
    return {51, "Internal error"};
  }
}
