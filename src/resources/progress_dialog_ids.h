// Resource ids of the progress window's dialog template, shared by the
// resource script (progress_dialog.rc) and the code that creates it, so
// plain macros the resource compiler understands.
#ifndef Q7K_RESOURCES_PROGRESS_DIALOG_IDS_H_
#define Q7K_RESOURCES_PROGRESS_DIALOG_IDS_H_

#define Q7K_IDD_PROGRESS 201
#define Q7K_IDC_PROGRESS_BAR 202
#define Q7K_IDC_PROGRESS_LABEL 203
#define Q7K_IDC_PROGRESS_MESSAGE 204

#endif  // Q7K_RESOURCES_PROGRESS_DIALOG_IDS_H_
