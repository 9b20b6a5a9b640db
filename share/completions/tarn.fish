# SPDX-License-Identifier: GPL-3.0-or-later
# fish completion for tarn: its options and macro files (*.mcr).

# Macro files first (fish offers the other files after them), any file after --trace.
complete -c tarn -f
complete -c tarn -s h -l help -d 'Show the help and exit'
complete -c tarn -s V -l version -d 'Show the version and the licence and exit'
complete -c tarn -l edit -d 'Open the macro in the editor without running it'
complete -c tarn -l check -d 'Check macros without running them'
complete -c tarn -l stop -d 'Stop the macro runs of this user'
complete -c tarn -l batch -d 'A failure is a line on standard error, not a question'
complete -c tarn -l trace -r -F -d "Write the run's trace to this file"
complete -c tarn -s v -l verbose -d 'Write the trace to standard error as the run goes'
complete -c tarn -n 'not string match -q -- "-*" (commandline -ct)' -k -a '(__fish_complete_suffix .mcr)'
