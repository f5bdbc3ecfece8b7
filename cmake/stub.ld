/* Image layout of the stub: two sections, so that the PE headers take one
   512-byte file block and only one section ends in a partly used block; all
   the room left below HEADER_OFFSET is one piece, whatever part grows.
     .text  code, constants, the import tables and the resources (dialog
            templates, icon). The loader makes the import address table
            writable while it binds it, as it does for linkers that keep
            imports among the read-only data. Resources are only ever read.
     .bss   zero-initialised data; no room in the file. The program has no
            initialised writable data: the few values that start non-zero are
            set at module start-up.
   A .data section, should one appear, is kept as its own section (and costs
   a file block): the size check after the link then tells.
   The linker fills in the import and resource directory entries of the PE
   header only for sections named .idata and .rsrc; the post-link step
   (finish-stub.py) reads the symbols that bound the two tables from the map
   file and writes the entries. */
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + (__section_alignment__ < 0x1000 ? . : __section_alignment__) :
  {
    *(.text)
    *(SORT(.text$*))
    *(.text.*)
    *(.rdata)
    *(SORT(.rdata$*))
    . = ALIGN(4);
    __import_directory_start__ = .;
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    /* These zeroes end the import directory. */
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    __import_directory_end__ = .;
    KEEP (SORT(*)(.idata$4))
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
    /* The resource tree as the resource compiler wrote it: one object (one
       .rc file), since nothing here merges the trees of several. Its data
       entries hold relocated RVAs, right wherever the tree lands. */
    . = ALIGN(4);
    __resource_directory_start__ = .;
    KEEP (*(.rsrc))
    KEEP (*(.rsrc$*))
    __resource_directory_end__ = .;
  }
  .data BLOCK(__section_alignment__) :
  {
    *(.data)
    *(SORT(.data$*))
  }
  .bss BLOCK(__section_alignment__) :
  {
    __bss_start__ = . ;
    *(.bss)
    *(COMMON)
    __bss_end__ = . ;
  }
  /DISCARD/ :
  {
    *(.debug$S)
    *(.debug$T)
    *(.debug$F)
    *(.drectve)
    *(.note.GNU-stack)
    *(.gnu.lto_*)
    *(.eh_frame*)
    *(.pdata*)
    *(.comment)
  }
}
