// Placeholder translation unit until the first real source of this library lands.
