#pragma once

#include "asf/key.hpp"

namespace asfinspect::decode {

using asf::Key;

}  // namespace asfinspect::decode
