/* Image layout of the stub: three sections, so that the PE headers take one
   512-byte file block and only two sections end in a partly used block.
     .text  code, constants and the import tables. The loader makes the
            import address table writable while it binds it, as it does for
            linkers that keep imports among the read-only data.
     .bss   zero-initialised data; no room in the file. The program has no
            initialised writable data: the few values that start non-zero are
            set at module start-up.
     .rsrc  dialog templates and the icon.
   A .data section, should one appear, is kept as its own section (and costs
   a file block): the size check after the link then tells. */
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
    /* The linker fills in the import directory entry of the PE header only
       for a section named .idata; the post-link step (finish-stub.py) reads
       these two symbols from the map file and writes the entry. */
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
  .rsrc BLOCK(__section_alignment__) : SUBALIGN(4)
  {
    KEEP (*(.rsrc))
    KEEP (*(.rsrc$*))
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
