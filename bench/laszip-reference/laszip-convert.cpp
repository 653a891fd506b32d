// The reference LASzip library's C API, one point at a time as its own tools do: LAS or LAZ
// in, LAZ out (the compressor the conversion benchmark measures), or LAS out when OUT ends
// in ".las" (to check by hand that LASzip decodes what Orrisk wrote). Built outside the
// project by build.sh against a LASzip snapshot; nothing in the project's build or tests uses it.
#include <cstring>
#include <laszip/laszip_api.h>

#include <cstdio>

static int Fail(laszip_POINTER handle, const char* what)
{
    laszip_CHAR* error = nullptr;
    laszip_get_error(handle, &error);
    std::fprintf(stderr, "laszip-convert: %s: %s\n", what, error ? error : "?");
    return 1;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: laszip-convert IN.las|IN.laz OUT.laz|OUT.las\n");
        return 2;
    }
    laszip_POINTER reader = nullptr;
    laszip_POINTER writer = nullptr;
    laszip_create(&reader);
    laszip_create(&writer);
    laszip_BOOL compressed = 0;
    if (laszip_open_reader(reader, argv[1], &compressed))
        return Fail(reader, "open reader");
    laszip_header* header = nullptr;
    laszip_get_header_pointer(reader, &header);
    const laszip_I64 count = header->number_of_point_records ? header->number_of_point_records
                                                                 : static_cast<laszip_I64>(header->extended_number_of_point_records);
    if (laszip_set_header(writer, header))
        return Fail(writer, "set header");
    const std::size_t length = std::strlen(argv[2]);
    const bool compress = !(length >= 4 && std::strcmp(argv[2] + length - 4, ".las") == 0);
    if (laszip_open_writer(writer, argv[2], compress ? 1 : 0))
        return Fail(writer, "open writer");
    laszip_point* point = nullptr;
    laszip_get_point_pointer(reader, &point);
    for (laszip_I64 i = 0; i < count; ++i) {
        if (laszip_read_point(reader))
            return Fail(reader, "read point");
        if (laszip_set_point(writer, point))
            return Fail(writer, "set point");
        if (laszip_write_point(writer))
            return Fail(writer, "write point");
    }
    if (laszip_close_writer(writer))
        return Fail(writer, "close writer");
    laszip_close_reader(reader);
    laszip_destroy(writer);
    laszip_destroy(reader);
    return 0;
}
