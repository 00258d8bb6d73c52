// IsComplete<T>: whether T is a complete type at the point of first use in a
// translation unit. Used by the include-closure checks of the host headers.
#pragma once

#include <type_traits>

template <class T, class = void> struct IsComplete : std::false_type
{
};
template <class T> struct IsComplete<T, decltype(void(sizeof(T)))> : std::true_type
{
};
