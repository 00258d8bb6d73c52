// PNG output through stb_image_write (Debian libstb-dev). The implementation
// is compiled here, once, with static linkage so that it cannot clash with
// another copy of stb linked into the same program.
#include "KorvanePreview.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

bool WritePreviewPng(const PreviewImage& image, const char* path, std::string* error)
{
    if (!path || !*path)
    {
        if (error)
            *error = "no output path for the preview";
        return false;
    }
    if (!image.rgb || image.width < 1 || image.height < 1)
    {
        if (error)
            *error = "the preview image is empty";
        return false;
    }
    if (!stbi_write_png(path, image.width, image.height, 3, image.rgb.get(), image.width * 3))
    {
        if (error)
            *error = std::string("cannot write the PNG file \"") + path + "\"";
        return false;
    }
    return true;
}
