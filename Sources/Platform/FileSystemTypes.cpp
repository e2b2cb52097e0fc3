#include "Platform/FileSystemTypes.hpp"

namespace zelvane {
namespace {

enum class Kind { data, pseudo, systemLayer };

struct TypeInfo {
    std::string_view name;
    unsigned long magic;  // 0: shares another type's number or has none
    Kind kind;
};

constexpr TypeInfo kTypes[] = {
    {"ext4", 0xef53, Kind::data},
    {"btrfs", 0x9123683e, Kind::data},
    {"xfs", 0x58465342, Kind::data},
    {"f2fs", 0xf2f52010, Kind::data},
    {"zfs", 0x2fc12fc1, Kind::data},
    {"bcachefs", 0xca451a4e, Kind::data},
    {"reiserfs", 0x52654973, Kind::data},
    {"jfs", 0x3153464a, Kind::data},
    {"nilfs2", 0x3434, Kind::data},
    {"vfat", 0x4d44, Kind::data},
    {"exfat", 0x2011bab0, Kind::data},
    {"ntfs", 0x5346544e, Kind::data},
    {"iso9660", 0x9660, Kind::data},
    {"udf", 0x15013346, Kind::data},
    {"nfs", 0x6969, Kind::data},
    {"cifs", 0xff534d42, Kind::data},
    {"smb3", 0xfe534d42, Kind::data},
    {"9p", 0x01021997, Kind::data},
    {"ceph", 0x00c36400, Kind::data},
    {"fuse", 0x65735546, Kind::data},
    {"erofs", 0xe0f5e1e2, Kind::data},

    {"proc", 0x9fa0, Kind::pseudo},
    {"sysfs", 0x62656572, Kind::pseudo},
    {"cgroup", 0x27e0eb, Kind::pseudo},
    {"cgroup2", 0x63677270, Kind::pseudo},
    {"devpts", 0x1cd1, Kind::pseudo},
    {"devtmpfs", 0, Kind::pseudo},  // reports the tmpfs number
    {"mqueue", 0x19800202, Kind::pseudo},
    {"debugfs", 0x64626720, Kind::pseudo},
    {"tracefs", 0x74726163, Kind::pseudo},
    {"securityfs", 0x73636673, Kind::pseudo},
    {"pstore", 0x6165676c, Kind::pseudo},
    {"bpf", 0xcafe4a11, Kind::pseudo},
    {"configfs", 0x62656570, Kind::pseudo},
    {"fusectl", 0x65735543, Kind::pseudo},
    {"binfmt_misc", 0x42494e4d, Kind::pseudo},
    {"autofs", 0x187, Kind::pseudo},
    {"hugetlbfs", 0x958458f6, Kind::pseudo},
    {"efivarfs", 0xde5e81e4, Kind::pseudo},
    {"nsfs", 0x6e736673, Kind::pseudo},
    {"rpc_pipefs", 0x67596969, Kind::pseudo},
    {"nfsd", 0x6e667364, Kind::pseudo},
    {"selinuxfs", 0xf97cff8c, Kind::pseudo},

    {"tmpfs", 0x01021994, Kind::systemLayer},
    {"ramfs", 0x858458f6, Kind::systemLayer},
    {"overlay", 0x794c7630, Kind::systemLayer},
    {"squashfs", 0x73717368, Kind::systemLayer},
    {"fuse.snapfuse", 0, Kind::systemLayer},
    {"fuse.lxcfs", 0, Kind::systemLayer},
    {"fuse.gvfsd-fuse", 0, Kind::systemLayer},
    {"fuse.portal", 0, Kind::systemLayer},
    {"fuse.xdg-document-portal", 0, Kind::systemLayer},
};

const TypeInfo* byName(std::string_view name) {
    for (const TypeInfo& t : kTypes)
        if (t.name == name) return &t;
    return nullptr;
}

const TypeInfo* byMagic(unsigned long magic) {
    if (magic == 0) return nullptr;
    for (const TypeInfo& t : kTypes)
        if (t.magic == magic) return &t;
    return nullptr;
}

}  // namespace

std::string fileSystemTypeName(unsigned long magic) {
    const TypeInfo* t = byMagic(magic);
    return t ? std::string(t->name) : std::string();
}

bool isPseudoFileSystem(std::string_view typeName) {
    const TypeInfo* t = byName(typeName);
    return t && t->kind == Kind::pseudo;
}

bool isPseudoFileSystemMagic(unsigned long magic) {
    const TypeInfo* t = byMagic(magic);
    return t && t->kind == Kind::pseudo;
}

bool isSystemLayerFileSystem(std::string_view typeName) {
    const TypeInfo* t = byName(typeName);
    return t && t->kind == Kind::systemLayer;
}

}  // namespace zelvane
